#include "ui/about.h"

#include "ui/artwork.h"
#include "ui/fonts.h"
#include "ui/twips.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>

About::About(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("About"));
    setWindowTitle(QStringLiteral("About Airloom"));
    setWindowIcon(artwork::eye());
    // A tool window keeps out of the taskbar; the caption stays, the buttons go.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFont(designFont(kSansFace, 8.25));

    m_picture1 = new QLabel(this);
    m_picture1->setObjectName(QStringLiteral("Picture1"));
    // The picture box takes the size of the logo.
    m_picture1->setGeometry(QRect(twipsRect(2040, 120, 1050, 420).topLeft(), artwork::kLogoSize));
    m_picture1->setPixmap(artwork::logo(devicePixelRatioF()));

    m_label1 = new QLabel(QStringLiteral("version 2.6.7"), this);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_label1->setGeometry(twipsRect(1920, 600, 1335, 255));
    m_label1->setAlignment(Qt::AlignCenter);
    m_label1->setFont(designFont(kSerifFace, 8.25, false, true));

    m_command1 = new QPushButton(QStringLiteral("&OK"), this);
    m_command1->setObjectName(QStringLiteral("Command1"));
    m_command1->setGeometry(twipsRect(2160, 2280, 975, 375));
    m_command1->setFont(designFont(kSansFace, 9.75, true));
    // Enter presses it as Space does, outside a dialog too.
    m_command1->setAutoDefault(true);

    // The client area stands where the window was placed at design time, measured from the
    // top-left of the screen.
    setGeometry(twipsRect(3015, 3450, 5310, 2820));
    setFixedSize(size());
}

void About::paintEvent(QPaintEvent*) {
    emit painted();
}

void About::closeEvent(QCloseEvent* event) {
    if (event->spontaneous())
        event->ignore();
}
