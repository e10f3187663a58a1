#pragma once

#include "common/messageboxes.h"

#include <QStringList>
#include <functional>
#include <utility>

// Records every message box as "caption|text|style" and answers from a script; with the
// script empty it answers the box's default button (Yes for style 36, No for 308, OK
// otherwise). whileShown, if set, looks at the program while each box is up.
class ScriptedMessageBoxes : public MessageBoxes {
public:
    int MsgBox(const QString& text, int style, const QString& caption) override {
        if (whileShown)
            whileShown();
        shown << QString("%1|%2|%3").arg(caption, text).arg(style);
        if (!answers.isEmpty())
            return answers.takeFirst();
        return style == kYesNoQuestion ? kYes : style == kYesNoExclamationNoDef ? kNo : kOk;
    }

    // The boxes shown so far, forgotten.
    QStringList take() { return std::exchange(shown, {}); }

    QList<int> answers;
    QStringList shown;
    std::function<void()> whileShown;
};
