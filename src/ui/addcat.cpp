#include "ui/addcat.h"

#include "ui/artwork.h"
#include "ui/fonts.h"
#include "ui/twips.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

AddCat::AddCat(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("AddCat"));
    setWindowTitle(QStringLiteral("Add Category"));
    setWindowIcon(artwork::printer());
    // Fixed single border with a system menu and a close button; closing only hides it.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(designFont(kSansFace, 8.25));
    setGeometry(QRect(QPoint(twipsToPixels(3690), twipsToPixels(3795)), twipsSize(4680, 1800)));
    setFixedSize(twipsSize(4680, 1800));

    m_label1 = new QLabel(QStringLiteral("Category Title"), this);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_label1->setGeometry(twipsRect(240, 360, 1095, 255));
    m_text1 = new QLineEdit(this);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setGeometry(twipsRect(1440, 360, 3015, 285));
    // The stand-in face is wider than the one the dialog was drawn for: the caption takes the
    // width it needs, and the title box beside it gives that room up.
    const int gap = m_text1->x() - m_label1->geometry().right();
    if (m_label1->sizeHint().width() > m_label1->width()) {
        m_label1->resize(m_label1->sizeHint().width(), m_label1->height());
        QRect box = m_text1->geometry();
        box.setLeft(std::max(box.left(), m_label1->geometry().right() + gap));
        m_text1->setGeometry(box);
    }
    m_command1 = new QPushButton(QStringLiteral("&OK"), this);
    m_command1->setObjectName(QStringLiteral("Command1"));
    m_command1->setGeometry(twipsRect(240, 1080, 855, 375));
    m_command2 = new QPushButton(QStringLiteral("&Cancel"), this);
    m_command2->setObjectName(QStringLiteral("Command2"));
    m_command2->setGeometry(twipsRect(1320, 1080, 975, 375));

    setTabOrder(m_text1, m_command1);
    setTabOrder(m_command1, m_command2);
    m_text1->setFocus();
}
