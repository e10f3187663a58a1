#include "ui/qtmessageboxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace {

struct SeenBox {
    QString text;
    QString caption;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

// Shows the box for style and, once it is up, records what it shows and lets answer close
// it (by a click or a key).
int showAndAnswer(int style, SeenBox& seen, const std::function<void(QMessageBox&)>& answer) {
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        seen.text = box->text();
        seen.caption = box->windowTitle();
        seen.icon = box->icon();
        seen.buttons = box->standardButtons();
        if (box->defaultButton())
            seen.defaultButton = box->standardButton(box->defaultButton());
        answer(*box);
    });
    QtMessageBoxes boxes;
    return boxes.MsgBox(QStringLiteral("Exit Airloom?"), style,
                        QStringLiteral("Are you sure you want to exit?"));
}

void click(QMessageBox& box, QMessageBox::StandardButton which) {
    box.button(which)->click();
}

void pressEnter(QMessageBox& box) {
    QTest::keyClick(&box, Qt::Key_Return);
}

} // namespace

TEST(QtMessageBoxes, EachStyleShowsItsButtonsIconAndDefault) {
    struct Case {
        int style;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton; // what Enter answers
        int enterAnswer;
    };
    const Case cases[] = {
        {MessageBoxes::kOkStop, QMessageBox::Critical, QMessageBox::Ok, QMessageBox::Ok,
         MessageBoxes::kOk},
        {MessageBoxes::kYesNoQuestion, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No,
         QMessageBox::Yes, MessageBoxes::kYes},
        {MessageBoxes::kOkExclamation, QMessageBox::Warning, QMessageBox::Ok, QMessageBox::Ok,
         MessageBoxes::kOk},
        {MessageBoxes::kYesNoExclamationNoDef, QMessageBox::Warning,
         QMessageBox::Yes | QMessageBox::No, QMessageBox::No, MessageBoxes::kNo},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.style);
        SeenBox seen;
        const int answer = showAndAnswer(c.style, seen, pressEnter);
        EXPECT_EQ(seen.text, QStringLiteral("Exit Airloom?"));
        EXPECT_EQ(seen.caption, QStringLiteral("Are you sure you want to exit?"));
        EXPECT_EQ(seen.icon, c.icon);
        EXPECT_EQ(seen.buttons, c.buttons);
        if (c.buttons != QMessageBox::Ok) {
            EXPECT_EQ(seen.defaultButton, c.defaultButton);
        }
        EXPECT_EQ(answer, c.enterAnswer);
    }
}

TEST(QtMessageBoxes, AnswersTheButtonClicked) {
    SeenBox seen;
    EXPECT_EQ(showAndAnswer(MessageBoxes::kYesNoExclamationNoDef, seen,
                            [](QMessageBox& box) { click(box, QMessageBox::Yes); }),
              MessageBoxes::kYes);
    EXPECT_EQ(showAndAnswer(MessageBoxes::kYesNoQuestion, seen,
                            [](QMessageBox& box) { click(box, QMessageBox::No); }),
              MessageBoxes::kNo);
    // Escape on a Yes/No box is No, never Yes.
    EXPECT_EQ(showAndAnswer(MessageBoxes::kYesNoQuestion, seen,
                            [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); }),
              MessageBoxes::kNo);
}
