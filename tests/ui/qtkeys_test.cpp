#include "ui/qtkeys.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QTabBar>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

TEST(QtKeys, TranslatesKeysAndModifiersToTheNumericCodes) {
    EXPECT_EQ(VirtualKeyCode(Qt::Key_F1), 112);
    EXPECT_EQ(VirtualKeyCode(Qt::Key_F10), 121);
    EXPECT_EQ(VirtualKeyCode(Qt::Key_F11), 122);
    EXPECT_EQ(VirtualKeyCode(Qt::Key_F12), 123);
    EXPECT_EQ(VirtualKeyCode(Qt::Key_A), 65);
    EXPECT_EQ(VirtualKeyCode(Qt::Key_7), 55);
    EXPECT_EQ(VirtualKeyCode(Qt::Key_Down), 40);
    EXPECT_EQ(VirtualKeyCode(Qt::Key_Return), 13);
    EXPECT_EQ(VirtualKeyCode(Qt::Key_MediaPlay), 0);

    EXPECT_EQ(ShiftState(Qt::NoModifier), 0);
    EXPECT_EQ(ShiftState(Qt::ShiftModifier), 1);
    EXPECT_EQ(ShiftState(Qt::ControlModifier), 2);
    EXPECT_EQ(ShiftState(Qt::AltModifier), 4);
    EXPECT_EQ(ShiftState(Qt::ShiftModifier | Qt::ControlModifier), 3);
    // The keypad and Meta bits are not part of the shift state.
    EXPECT_EQ(ShiftState(Qt::KeypadModifier | Qt::MetaModifier), 0);
}

// A window with a forwarding text box and a tab bar that forwards nothing: every press
// reaches the handler once, from whichever widget has the focus, and the text box still
// takes what is typed.
TEST(QtKeys, ForwardsEachPressOnceAndNeverConsumesIt) {
    QWidget window;
    auto* edit = new QLineEdit(&window);
    auto* tabs = new QTabBar(&window);
    tabs->addTab(QStringLiteral("One"));
    tabs->addTab(QStringLiteral("Two"));
    auto* layout = new QHBoxLayout(&window);
    layout->addWidget(edit);
    layout->addWidget(tabs);
    window.setFocusPolicy(Qt::StrongFocus);

    std::vector<std::pair<int, int>> forwarded;
    KeyForwarder forwarder([&](int key, int shift) { forwarded.emplace_back(key, shift); });
    forwarder.forwardFrom(&window);
    forwarder.forwardFrom(edit);

    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_F3, Qt::ShiftModifier);
    QTest::keyClicks(edit, QStringLiteral("ab"));
    QTest::keyClick(edit, Qt::Key_Left);
    EXPECT_EQ(edit->text(), QStringLiteral("ab"));
    EXPECT_EQ(edit->cursorPosition(), 1);
    // The modifier is a key press of its own, as it is on the keyboard.
    const std::vector<std::pair<int, int>> fromEdit{{16, 1}, {114, 1}, {65, 0}, {66, 0}, {37, 0}};
    EXPECT_EQ(forwarded, fromEdit);

    // The tab bar ignores F4, so Qt offers it to the window, which must not forward it.
    forwarded.clear();
    tabs->setFocus();
    QTest::keyClick(tabs, Qt::Key_F4);
    EXPECT_TRUE(forwarded.empty());

    // With the window itself focused, its own press is forwarded once.
    window.setFocus();
    QTest::keyClick(&window, Qt::Key_F4, Qt::ControlModifier);
    const std::vector<std::pair<int, int>> fromWindow{{17, 2}, {115, 2}};
    EXPECT_EQ(forwarded, fromWindow);

    // Auto-repeat: one forward per repeated press.
    forwarded.clear();
    edit->setFocus();
    for (int i = 0; i < 3; ++i) {
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_F2, Qt::NoModifier, QString(), true);
        QApplication::sendEvent(edit, &repeat);
    }
    EXPECT_EQ(forwarded.size(), 3u);
}
