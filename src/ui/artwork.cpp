#include "ui/artwork.h"

#include <QFile>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>

// The resources live in a static library: they are registered on first use, since nothing
// else refers to their object file and the linker would drop it.
static void initResources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(airloom);
        return true;
    }();
    Q_UNUSED(registered);
}

namespace artwork {
namespace {

QPixmap render(const QString& name, QSize size, qreal devicePixelRatio) {
    initResources();
    QPixmap pixmap(size * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(QStringLiteral(":/airloom/") + name);
    QPainter painter(&pixmap);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return pixmap;
}

// The icon at its own size and at twice that size for high-density screens.
QIcon icon(const QString& name) {
    QIcon result;
    result.addPixmap(render(name, kIconSize, 1.0));
    result.addPixmap(render(name, kIconSize, 2.0));
    return result;
}

} // namespace

QIcon windowIcon() {
    return icon(QStringLiteral("icons/airloom.svg"));
}
QIcon filingCabinet() {
    return icon(QStringLiteral("icons/filingcabinet.svg"));
}
QIcon wrench() {
    return icon(QStringLiteral("icons/wrench.svg"));
}
QIcon wasteBin() {
    return icon(QStringLiteral("icons/wastebin.svg"));
}
QIcon aboutBubble() {
    return icon(QStringLiteral("icons/about.svg"));
}
QIcon helpBubble() {
    return icon(QStringLiteral("icons/help.svg"));
}
QIcon exitDoor() {
    return icon(QStringLiteral("icons/exit.svg"));
}
QIcon eye() {
    return icon(QStringLiteral("icons/eye.svg"));
}

QIcon printer() {
    return icon(QStringLiteral("icons/printer.svg"));
}
QIcon upTriangle() {
    return icon(QStringLiteral("icons/up.svg"));
}
QIcon downTriangle() {
    return icon(QStringLiteral("icons/down.svg"));
}

QPixmap logo(qreal devicePixelRatio) {
    return render(QStringLiteral("logo.svg"), kLogoSize, devicePixelRatio);
}

QPixmap dragArrow(qreal devicePixelRatio) {
    return render(QStringLiteral("icons/dragarrow.svg"), kIconSize, devicePixelRatio);
}

QString helpDocument() {
    initResources();
    QFile file(QStringLiteral(":/airloom/help.html"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

} // namespace artwork
