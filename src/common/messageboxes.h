#pragma once

#include <QString>

// Modal questions and warnings. Every message box of the program goes through this
// interface, so tests answer with a scripted fake and check text, caption and style.
// UI thread only; the real implementation blocks in a modal dialog.
class MessageBoxes {
public:
    // Styles are the classic message-box flags: buttons + icon + default button.
    static constexpr int kOkStop = 16;                 // OK, stop icon
    static constexpr int kYesNoQuestion = 36;          // Yes/No, question icon, Yes default
    static constexpr int kOkExclamation = 48;          // OK, exclamation icon
    static constexpr int kYesNoExclamationNoDef = 308; // Yes/No, exclamation icon, No default

    // Answers.
    static constexpr int kOk = 1;
    static constexpr int kYes = 6;
    static constexpr int kNo = 7;

    virtual ~MessageBoxes() = default;

    // Shows the box and returns the button pressed (kOk, kYes or kNo).
    virtual int MsgBox(const QString& text, int style, const QString& caption) = 0;
};

// A category folder that cannot be listed: at start-up, on a tab click, on a refresh, and
// when the configuration window closes.
inline void ShowCategoryPathError(MessageBoxes& boxes) {
    boxes.MsgBox(QStringLiteral("Please check your category directory path."),
                 MessageBoxes::kOkStop, QStringLiteral("File path/access error!"));
}
