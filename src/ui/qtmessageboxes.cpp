#include "ui/qtmessageboxes.h"

#include <QMessageBox>
#include <QPushButton>

namespace {

// The style is the sum of three flag groups: buttons (low digit), icon and default button.
constexpr int kButtonsMask = 0x00F;
constexpr int kIconMask = 0x0F0;
constexpr int kDefaultMask = 0xF00;

constexpr int kButtonsYesNo = 4;
constexpr int kIconStop = 16;
constexpr int kIconQuestion = 32;
constexpr int kIconExclamation = 48;
constexpr int kIconInformation = 64;
constexpr int kDefaultSecond = 256;

QMessageBox::Icon iconFor(int style) {
    switch (style & kIconMask) {
    case kIconStop:
        return QMessageBox::Critical;
    case kIconQuestion:
        return QMessageBox::Question;
    case kIconExclamation:
        return QMessageBox::Warning;
    case kIconInformation:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

} // namespace

int QtMessageBoxes::MsgBox(const QString& text, int style, const QString& caption) {
    const bool yesNo = (style & kButtonsMask) == kButtonsYesNo;
    QMessageBox box(iconFor(style), caption, text,
                    yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok);
    if (yesNo) {
        const bool noFirst = (style & kDefaultMask) == kDefaultSecond;
        box.setDefaultButton(noFirst ? QMessageBox::No : QMessageBox::Yes);
        // Closing the box by the window manager or Escape counts as No.
        box.setEscapeButton(QMessageBox::No);
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return kYes;
    case QMessageBox::No:
        return kNo;
    default:
        return kOk;
    }
}
