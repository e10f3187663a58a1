#include "ui/apprig.h"

#include <QLineEdit>
#include <gtest/gtest.h>

namespace {

// The main window open with decks 1..10 loaded and nothing playing; the end-of-cart
// timer is stopped so that only the keys move the engine.
struct KeyRig : AppRig {
    KeyRig() {
        openMainWindow();
        app->Timer1().stop();
        for (int deck = 1; deck <= DeckEngine::kDeckCount; ++deck)
            load(deck, QStringLiteral("News.wav"));
        app->cartList().setListIndex(-1);
    }

    // A key press on the widget that holds the focus, as the keyboard delivers it.
    void press(QWidget* focus, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        focus->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), focus);
        QTest::keyClick(focus, key, modifiers);
    }

    QStringList paths() const {
        QStringList all;
        for (int deck = 1; deck <= DeckEngine::kDeckCount; ++deck)
            all.append(decks().FilePath(deck));
        return all;
    }
};

} // namespace

// A press of F3 on every widget that forwards keys fires deck 3 once: a second forward of
// the same press would stop it again.
TEST(AppKeys, EveryForwardingWidgetFiresOncePerPress) {
    KeyRig rig;
    QList<QWidget*> forwarding{&rig.form(), rig.form().File1(), rig.form().Text1(),
                               rig.form().Picture1()};
    for (int n = 1; n <= Form1::kButtonCount; ++n)
        forwarding.append(rig.form().SSCommand(n));

    for (QWidget* widget : forwarding) {
        SCOPED_TRACE(widget->objectName().toStdString());
        rig.press(widget, Qt::Key_F3);
        EXPECT_TRUE(rig.decks().IsPlaying(3));
        rig.press(widget, Qt::Key_F3);
        EXPECT_FALSE(rig.decks().IsPlaying(3));
        EXPECT_EQ(rig.decks().CurrentDeck(), 3);
    }

    // The tab strip forwards nothing, and the window does not take over its keys.
    rig.press(rig.form().TabStrip1(), Qt::Key_F3);
    EXPECT_FALSE(rig.decks().IsPlaying(3));
}

TEST(AppKeys, HoldingAKeyFiresOncePerRepeat) {
    KeyRig rig;
    QWidget* list = rig.form().File1();
    list->setFocus();
    const bool playingAfter[] = {true, false, true};
    for (bool playing : playingAfter) {
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_F4, Qt::NoModifier, QString(), true);
        QApplication::sendEvent(list, &repeat);
        EXPECT_EQ(rig.decks().IsPlaying(4), playing);
    }
}

// The key map through real key presses on the focused cart list.
TEST(AppKeys, TheMapAsATable) {
    enum class Effect { Fires, Clears, Loads, Stops, FocusesSearch, Nothing };
    struct Row {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        bool withSelection;
        Effect effect;
        int deck;
    };
    const Row rows[] = {
        {Qt::Key_F1, Qt::NoModifier, false, Effect::Fires, 1},
        {Qt::Key_F10, Qt::NoModifier, false, Effect::Fires, 10},
        {Qt::Key_F10, Qt::ShiftModifier, false, Effect::Clears, 10},
        {Qt::Key_F2, Qt::ShiftModifier, false, Effect::Clears, 2},
        {Qt::Key_F5, Qt::ControlModifier, true, Effect::Loads, 5},
        {Qt::Key_F5, Qt::ControlModifier, false, Effect::Nothing, 5},
        {Qt::Key_F3, Qt::AltModifier, true, Effect::Nothing, 3},
        {Qt::Key_F3, Qt::ShiftModifier | Qt::ControlModifier, true, Effect::Nothing, 3},
        {Qt::Key_F11, Qt::NoModifier, false, Effect::Stops, 0},
        {Qt::Key_F11, Qt::ShiftModifier, false, Effect::Stops, 0},
        {Qt::Key_F11, Qt::ControlModifier, false, Effect::Stops, 0},
        {Qt::Key_F11, Qt::AltModifier, false, Effect::Stops, 0},
        {Qt::Key_F12, Qt::NoModifier, false, Effect::FocusesSearch, 0},
        {Qt::Key_F12, Qt::AltModifier | Qt::ShiftModifier, false, Effect::FocusesSearch, 0},
        {Qt::Key_A, Qt::NoModifier, true, Effect::Nothing, 0},
    };

    for (const Row& row : rows) {
        KeyRig rig;
        SCOPED_TRACE(QKeySequence(row.key | row.modifiers).toString().toStdString());
        const QString sunday = rig.carts + QStringLiteral("/Sunday.wav");
        if (row.withSelection)
            rig.app->cartList().setListIndex(2);
        if (row.effect == Effect::Stops)
            rig.decks().FireDeck(7);
        const QStringList before = rig.paths();
        const bool playingBefore = rig.decks().IsPlaying(7);

        rig.press(rig.form().File1(), row.key, row.modifiers);

        switch (row.effect) {
        case Effect::Fires:
            EXPECT_TRUE(rig.decks().IsPlaying(row.deck));
            break;
        case Effect::Clears:
            EXPECT_EQ(rig.decks().FilePath(row.deck), QString());
            break;
        case Effect::Loads:
            EXPECT_EQ(rig.decks().FilePath(row.deck), sunday);
            break;
        case Effect::Stops:
            EXPECT_TRUE(playingBefore);
            EXPECT_FALSE(rig.decks().IsPlaying(7));
            break;
        case Effect::FocusesSearch:
            EXPECT_EQ(QApplication::focusWidget(), rig.form().Text1());
            break;
        case Effect::Nothing:
            EXPECT_EQ(rig.paths(), before);
            EXPECT_EQ(rig.decks().CurrentDeck(), 0);
            break;
        }
        if (row.effect != Effect::FocusesSearch) {
            EXPECT_EQ(QApplication::focusWidget(), rig.form().File1());
        }
    }
}

// Typing goes into the search box and searches; F12 selects the whole text so the next
// letter starts a new search; arrows still move in the list.
TEST(AppKeys, TypingAndArrowsKeepWorking) {
    KeyRig rig;
    QLineEdit* search = rig.form().Text1();
    search->setFocus();
    QTest::keyClicks(search, QStringLiteral("Sta"));
    EXPECT_EQ(search->text(), QStringLiteral("Sta"));
    EXPECT_EQ(rig.app->cartList().FileName(), QStringLiteral("Station ID.wav"));
    EXPECT_EQ(rig.form().File1()->currentIndex().row(), 1);
    EXPECT_EQ(rig.decks().CurrentDeck(), 0) << "letters fire nothing";

    rig.press(rig.form().File1(), Qt::Key_F12);
    EXPECT_EQ(QApplication::focusWidget(), search);
    EXPECT_EQ(search->selectedText(), QStringLiteral("Sta"));
    QTest::keyClick(search, 'N');
    EXPECT_EQ(search->text(), QStringLiteral("N"));
    EXPECT_EQ(rig.app->cartList().FileName(), QStringLiteral("News.wav"));

    // A click in the box selects its whole text too.
    search->deselect();
    QTest::mouseClick(search, Qt::LeftButton);
    EXPECT_EQ(search->selectedText(), QStringLiteral("N"));

    rig.press(rig.form().File1(), Qt::Key_Down);
    EXPECT_EQ(rig.app->cartList().FileName(), QStringLiteral("Station ID.wav"));
    // Ctrl+F6 then loads what the search and the arrow found.
    QTest::keyClick(rig.form().File1(), Qt::Key_F6, Qt::ControlModifier);
    EXPECT_EQ(rig.decks().FilePath(6), rig.carts + QStringLiteral("/Station ID.wav"));
}
