#include "ui/qtmessageboxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
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
    // The box belongs to the window the operator is in: the window manager keeps it in front
    // of that window, and the keyboard goes back there, to the same control, once it is
    // answered.
    const QPointer<QWidget> owner = QApplication::activeWindow();
    const QPointer<QWidget> focus = owner ? owner->focusWidget() : nullptr;
    const bool yesNo = (style & kButtonsMask) == kButtonsYesNo;
    // On the heap: a box whose owner went away meanwhile has gone with it.
    const QPointer<QMessageBox> box =
        new QMessageBox(iconFor(style), caption, text,
                        yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, owner);
    if (yesNo) {
        const bool noFirst = (style & kDefaultMask) == kDefaultSecond;
        box->setDefaultButton(noFirst ? QMessageBox::No : QMessageBox::Yes);
        // Closing the box by the window manager or Escape counts as No.
        box->setEscapeButton(QMessageBox::No);
    }
    const int answer = box->exec();
    delete box;
    if (owner && owner->isVisible()) {
        owner->activateWindow();
        if (focus)
            focus->setFocus(Qt::ActiveWindowFocusReason);
    }
    switch (answer) {
    case QMessageBox::Yes:
        return kYes;
    case QMessageBox::No:
        return kNo;
    default:
        return kOk;
    }
}
