#pragma once

#include "common/messageboxes.h"

#include <QList>
#include <QStringList>
#include <functional>

// Records every message box and answers from a script; with the script empty it answers
// the box's default button (Yes for style 36, No for 308, OK otherwise). whileShown, if
// set, looks at the program while each box is up.
class ScriptedMessageBoxes : public MessageBoxes {
public:
    struct Shown {
        QString text;
        int style;
        QString caption;
    };

    int MsgBox(const QString& text, int style, const QString& caption) override {
        if (whileShown)
            whileShown();
        shown.append({text, style, caption});
        if (!answers.isEmpty())
            return answers.takeFirst();
        if (style == kYesNoQuestion)
            return kYes;
        if (style == kYesNoExclamationNoDef)
            return kNo;
        return kOk;
    }

    // The boxes shown so far, as "caption|text|style"; take() forgets them.
    QStringList lines() const {
        QStringList all;
        for (const Shown& box : shown)
            all << QString("%1|%2|%3").arg(box.caption, box.text).arg(box.style);
        return all;
    }
    QStringList take() {
        const QStringList all = lines();
        shown.clear();
        return all;
    }

    QList<int> answers;
    QList<Shown> shown;
    std::function<void()> whileShown;
};
