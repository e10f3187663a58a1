#include "ui/title.h"

#include "ui/artwork.h"
#include "ui/fonts.h"
#include "ui/twips.h"

#include <QLabel>
#include <QPainter>
#include <QScreen>

namespace {
// The single border drawn around the client area.
constexpr int kBorder = 1;
} // namespace

Title::Title(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Title"));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setWindowIcon(artwork::windowIcon());
    setFixedSize(twipsSize(6195, 3060) + QSize(2 * kBorder, 2 * kBorder));
    setFont(designFont(kSansFace, 8.25));

    const QPoint client(kBorder, kBorder);

    m_picture2 = new QLabel(this);
    m_picture2->setObjectName(QStringLiteral("Picture2"));
    m_picture2->setGeometry(twipsRect(2400, 120, 1050, 420).translated(client));
    m_picture2->setPixmap(artwork::logo(devicePixelRatioF()));

    m_label1 = new QLabel(QStringLiteral("version " AIRLOOM_VERSION), this);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_label1->setGeometry(twipsRect(2280, 600, 1335, 255).translated(client));
    m_label1->setAlignment(Qt::AlignCenter);
    m_label1->setFont(designFont(kSerifFace, 6.75, true, true));

    if (const QScreen* here = screen())
        move(here->availableGeometry().center() - rect().center());
}

void Title::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    painter.end();
    emit painted();
}
