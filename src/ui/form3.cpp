#include "ui/form3.h"

#include "ui/artwork.h"
#include "ui/fonts.h"
#include "ui/twips.h"

#include <QTextBrowser>

namespace {

// The key table of the document aligns its second column on this tab stop.
constexpr qreal kKeyColumn = 150;

} // namespace

Form3::Form3(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Airloom Version 1.00 Help"));
    setWindowIcon(artwork::windowIcon());
    // Fixed single border: a system menu, close and minimize buttons, no maximize.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFont(designFont(kSansFace, 8.25));

    m_helpBox = new QTextBrowser(this);
    m_helpBox->setObjectName(QStringLiteral("HelpBox"));
    m_helpBox->setGeometry(twipsRect(120, 120, 9735, 5175));
    m_helpBox->setOpenLinks(false);
    // The document names its faces by role; the stand-ins of this machine fill them in.
    QTextDocument* document = m_helpBox->document();
    document->setDefaultFont(designFont(kSerifFace, 10));
    document->setDefaultStyleSheet(
        QStringLiteral(".title { font-family: '%1'; }").arg(QLatin1String(kHandFace)));
    QTextOption layout = document->defaultTextOption();
    layout.setTabStopDistance(kKeyColumn);
    document->setDefaultTextOption(layout);
    m_helpBox->setHtml(artwork::helpDocument());

    // The client area stands where the window was placed at design time.
    setGeometry(twipsRect(960, 2175, 9975, 5610));
    setFixedSize(size());
}
