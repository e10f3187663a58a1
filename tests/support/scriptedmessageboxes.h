#pragma once

#include "common/messageboxes.h"

#include <QList>
#include <QString>

// Records every message box and answers from a script; with the script empty it answers
// the box's default button (Yes for style 36, No for 308, OK otherwise).
class ScriptedMessageBoxes : public MessageBoxes {
public:
    struct Shown {
        QString text;
        int style;
        QString caption;
    };

    int MsgBox(const QString& text, int style, const QString& caption) override {
        shown.append({text, style, caption});
        if (!answers.isEmpty())
            return answers.takeFirst();
        if (style == kYesNoQuestion)
            return kYes;
        if (style == kYesNoExclamationNoDef)
            return kNo;
        return kOk;
    }

    QList<int> answers;
    QList<Shown> shown;
};
