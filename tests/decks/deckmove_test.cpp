#include "deckrig.h"

#include <QSignalSpy>

// Moving carts between decks with the deck drag, and the deck lock.

using DeckMove = DeckRig;

namespace {
const QString kZero = QStringLiteral("0:00:00");

void drag(DeckEngine& engine, int from, int to) {
    engine.BeginDeckDrag(from);
    engine.DropOnDeck(to, DragProxy::Label1);
}
} // namespace

TEST_F(DeckMove, ACartDraggedToAnEmptyDeckMovesThere) {
    cart(QStringLiteral("ID.wav"), 2500);
    load(2, QStringLiteral("ID.wav"));
    engine.SetDeckMode(2, QStringLiteral("Loop"));
    engine.SetDeckMode(7, QStringLiteral("Seqnc"));
    drag(engine, 2, 7);
    EXPECT_EQ(engine.DragSourceDeck(), 2);
    EXPECT_EQ(engine.Controls(7).deckCaption, QStringLiteral("ID"));
    EXPECT_EQ(engine.Controls(7).timeCaption, QStringLiteral("0:00:02"));
    EXPECT_EQ(engine.Controls(7).deckColour, DeckEngine::kYellow);
    EXPECT_EQ(engine.FilePath(7), path(QStringLiteral("ID.wav")));
    EXPECT_EQ(engine.Controls(2).deckCaption, QString());
    EXPECT_EQ(engine.Controls(2).deckColour, DeckEngine::kBlack);
    EXPECT_EQ(engine.Controls(2).timeCaption, kZero);
    EXPECT_EQ(engine.FilePath(2), QString());
    // Modes and idle texts stay with the deck positions: the cart now plays in Sequence.
    EXPECT_EQ(engine.ModeWord(2), QStringLiteral("Loop"));
    EXPECT_EQ(engine.ModeWord(7), QStringLiteral("Seqnc"));
    EXPECT_EQ(engine.IdleTimeText(2), QStringLiteral("0:00:02"));
    EXPECT_EQ(engine.IdleTimeText(7), QString());
}

TEST_F(DeckMove, TwoLoadedDecksSwap) {
    cart(QStringLiteral("News.wav"), 3500);
    cart(QStringLiteral("Weather.wav"), 6500);
    load(2, QStringLiteral("News.wav"));
    load(7, QStringLiteral("Weather.wav"));
    drag(engine, 2, 7);
    EXPECT_EQ(engine.Controls(2).deckCaption, QStringLiteral("Weather"));
    EXPECT_EQ(engine.Controls(2).timeCaption, QStringLiteral("0:00:06"));
    EXPECT_EQ(engine.FilePath(2), path(QStringLiteral("Weather.wav")));
    EXPECT_EQ(engine.Controls(7).deckCaption, QStringLiteral("News"));
    EXPECT_EQ(engine.Controls(7).timeCaption, QStringLiteral("0:00:04"));
    EXPECT_EQ(engine.FilePath(7), path(QStringLiteral("News.wav")));
    for (const int deck : {2, 7})
        EXPECT_EQ(engine.Controls(deck).deckColour, DeckEngine::kYellow);
    // Dropped back on itself: nothing changes.
    const DeckScreen before = DeckScreen::of(engine);
    drag(engine, 7, 7);
    EXPECT_TRUE(DeckScreen::of(engine) == before);
}

TEST_F(DeckMove, NothingMovesOntoOrOffThePlayingDeckButOthersStillSwap) {
    cart(QStringLiteral("A.wav"), 3000, 4000);
    cart(QStringLiteral("B.wav"), 1000);
    cart(QStringLiteral("C.wav"), 2000);
    load(4, QStringLiteral("A.wav"));
    load(2, QStringLiteral("B.wav"));
    load(7, QStringLiteral("C.wav"));
    engine.FireDeck(4);
    tick(10);
    const DeckScreen before = DeckScreen::of(engine);
    drag(engine, 4, 7);
    drag(engine, 4, 9);
    drag(engine, 7, 4);
    drag(engine, 9, 4);
    EXPECT_TRUE(DeckScreen::of(engine) == before);
    EXPECT_EQ(engine.FilePath(4), path(QStringLiteral("A.wav")));

    drag(engine, 2, 7);
    EXPECT_EQ(engine.FilePath(2), path(QStringLiteral("C.wav")));
    EXPECT_EQ(engine.FilePath(7), path(QStringLiteral("B.wav")));
    tick(10);
    EXPECT_TRUE(engine.IsPlaying(4));
    EXPECT_EQ(engine.Controls(4).deckColour, DeckEngine::kBrightGreen);
    // The playing cart was never interrupted.
    const auto runs = heardRuns();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].first, 4000);

    // Once it has stopped, the current deck can be moved like any other.
    engine.StopCart();
    drag(engine, 4, 9);
    EXPECT_EQ(engine.FilePath(9), path(QStringLiteral("A.wav")));
}

TEST_F(DeckMove, MovingTheCartOutOfTheIdleCurrentDeckLeavesItsIdleText) {
    cart(QStringLiteral("A.wav"), 1500);
    load(3, QStringLiteral("A.wav"));
    engine.FireDeck(3);
    tickUntilStopped();
    statusUpdate();
    drag(engine, 3, 8);
    EXPECT_EQ(engine.Controls(3).timeCaption, kZero);
    EXPECT_EQ(engine.Controls(3).deckColour, DeckEngine::kBlack);
    // The next notification writes the position's idle text: the length of the cart that
    // left it.
    statusUpdate();
    EXPECT_EQ(engine.Controls(3).timeCaption, QStringLiteral("0:00:02"));
    EXPECT_EQ(engine.Controls(8).timeCaption, QStringLiteral("0:00:02"));
    EXPECT_EQ(engine.Controls(3).deckCaption, QString());
}

TEST_F(DeckMove, ADropWithoutAPressOrFromAnUnknownProxyDoesNothing) {
    cart(QStringLiteral("A.wav"), 1000);
    load(5, QStringLiteral("A.wav"));
    const DeckScreen before = DeckScreen::of(engine);
    engine.DropOnDeck(5, DragProxy::Label1); // no deck label was ever pressed
    engine.DropOnDeck(6, DragProxy::Label1);
    engine.MoveCart(6);
    engine.DropOnDeck(6, DragProxy::None);
    EXPECT_TRUE(DeckScreen::of(engine) == before);
    EXPECT_EQ(engine.FilePath(5), path(QStringLiteral("A.wav")));
    EXPECT_EQ(engine.FilePath(6), QString());
}

TEST_F(DeckMove, ACartListDropLoadsTheDeck) {
    cart(QStringLiteral("Promo.wav"), 1000);
    selection.fileName = QStringLiteral("Promo.wav");
    engine.DropOnDeck(6, DragProxy::Label42);
    EXPECT_EQ(engine.Controls(6).deckCaption, QStringLiteral("Promo"));
    EXPECT_EQ(engine.FilePath(6), path(QStringLiteral("Promo.wav")));
}

// --- The deck lock ----------------------------------------------------------------------

TEST_F(DeckMove, AnEmptyDeckCannotBeLocked) {
    QSignalSpy changed(&engine, &DeckEngine::deckChanged);
    engine.ToggleDeckLock(3);
    EXPECT_EQ(engine.LockedPath(3), QString());
    EXPECT_EQ(engine.Controls(3).lockColour, DeckEngine::kYellow);
    EXPECT_EQ(changed.count(), 0);
}

TEST_F(DeckMove, TheLockRefusesLoadClearAndMoveButNotPlayOrMode) {
    cart(QStringLiteral("ID.wav"), 300, 4000);
    cart(QStringLiteral("Other.wav"), 300, 9000);
    load(5, QStringLiteral("ID.wav"));
    load(6, QStringLiteral("Other.wav"));
    engine.ToggleDeckLock(5);
    EXPECT_EQ(engine.LockedPath(5), engine.FilePath(5));
    EXPECT_EQ(engine.Controls(5).lockColour, DeckEngine::kGrey);

    const DeckScreen before = DeckScreen::of(engine);
    load(5, QStringLiteral("Other.wav"));     // Ctrl+F5
    engine.DropOnDeck(5, DragProxy::Label42); // drop from the cart list
    engine.ClearDeck(5);                      // Shift+F5, time label, clear-all
    drag(engine, 5, 6);                       // as source
    drag(engine, 6, 5);                       // as target
    drag(engine, 5, 9);                       // to an empty deck
    EXPECT_TRUE(DeckScreen::of(engine) == before);
    EXPECT_EQ(engine.FilePath(5), path(QStringLiteral("ID.wav")));
    EXPECT_EQ(engine.FilePath(6), path(QStringLiteral("Other.wav")));

    // Firing, stopping, the end-of-cart action and the mode cycle work as usual.
    engine.CyclePlayMode(5);
    engine.CyclePlayMode(5); // Loop
    EXPECT_EQ(engine.ModeWord(5), QStringLiteral("Loop"));
    engine.FireDeck(5);
    tick();
    EXPECT_EQ(engine.Controls(5).deckColour, DeckEngine::kBrightGreen);
    EXPECT_EQ(tickUntilStopped(100), 100); // it loops
    engine.FireDeck(5);
    EXPECT_EQ(player.Mode(), MciDevice::kModeStopped);
    engine.SetDeckMode(4, QStringLiteral("Seqnc"));
    cart(QStringLiteral("Lead.wav"), 100, 2000);
    load(4, QStringLiteral("Lead.wav"));
    engine.FireDeck(4);
    tick(12);
    EXPECT_EQ(engine.CurrentDeck(), 5); // the sequence fired the locked deck
    EXPECT_TRUE(engine.IsPlaying(5));

    // Unlocked, the same operations work.
    engine.StopCart();
    engine.ToggleDeckLock(5);
    EXPECT_EQ(engine.LockedPath(5), QString());
    EXPECT_EQ(engine.Controls(5).lockColour, DeckEngine::kYellow);
    drag(engine, 5, 6);
    EXPECT_EQ(engine.FilePath(5), path(QStringLiteral("Other.wav")));
    EXPECT_EQ(engine.FilePath(6), path(QStringLiteral("ID.wav")));
    engine.ClearDeck(5);
    EXPECT_EQ(engine.FilePath(5), QString());
}
