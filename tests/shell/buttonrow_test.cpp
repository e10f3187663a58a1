#include "library/libraryrig.h"
#include "shell/buttonrow.h"

#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

// Decks 1..6 hold a cart each, deck 5 locked; the list shows the carts' folder.
class ButtonRowTest : public LibraryRig {
protected:
    void SetUp() override {
        LibraryRig::SetUp();
        folder = makeFolder("carts", {"A.wav", "B.wav", "C.wav", "D.wav", "E.wav", "F.wav"});
        ASSERT_TRUE(list.setPath(folder));
        carts = list.names();
        for (int deck = 1; deck <= 6; ++deck)
            loadDeck(deck, carts.at(deck - 1));
        decks.ToggleDeckLock(5);
        list.setListIndex(-1);
    }
    QString cart(int deck) const { return folder + "/" + carts.at(deck - 1); }

    QString folder;
    QStringList carts;
};

TEST_F(ButtonRowTest, ClearAllKeepsThePlayingDeckAndTheLockedOnes) {
    startDeck(3);
    row.Form1_SSCommand4_Click();
    settle();

    for (int deck : {1, 2, 4, 6})
        EXPECT_EQ(decks.FilePath(deck), "") << deck;
    EXPECT_EQ(decks.FilePath(3), cart(3));
    EXPECT_TRUE(decks.IsPlaying(3));
    EXPECT_EQ(decks.FilePath(5), cart(5));
    EXPECT_EQ(decks.Controls(5).deckCaption, "E");
}

TEST_F(ButtonRowTest, ClearAllEmptiesTheLastPlayedDeckOnceItHasStopped) {
    startDeck(3);
    keys.HandleFunctionKey(FunctionKeys::kF11, 0);
    settle();
    ASSERT_EQ(decks.CurrentDeck(), 3);

    row.Form1_SSCommand4_Click();
    EXPECT_EQ(decks.FilePath(3), "");
    EXPECT_EQ(decks.FilePath(5), cart(5));
}

TEST_F(ButtonRowTest, DroppingADeckOnTheTrashEmptiesItUnlessItPlays) {
    startDeck(2);

    decks.BeginDeckDrag(2); // the playing deck
    row.Form1_SSCommand4_DragDrop(DragProxy::Label1);
    EXPECT_EQ(decks.FilePath(2), cart(2));
    EXPECT_TRUE(decks.IsPlaying(2));

    decks.BeginDeckDrag(5); // locked
    row.Form1_SSCommand4_DragDrop(DragProxy::Label1);
    EXPECT_EQ(decks.FilePath(5), cart(5));

    decks.BeginDeckDrag(4); // loaded, unlocked, quiet
    row.Form1_SSCommand4_DragDrop(DragProxy::Label1);
    EXPECT_EQ(decks.FilePath(4), "");
    EXPECT_EQ(decks.Controls(4).deckColour, DeckEngine::kBlack);
    for (int deck : {1, 3, 6})
        EXPECT_EQ(decks.FilePath(deck), cart(deck)) << deck;
    EXPECT_TRUE(boxes.shown.isEmpty());
}

TEST_F(ButtonRowTest, DroppingAListFileOnTheTrashAsksAndNeverEmptiesADeck) {
    addCart(folder, "G.wav");
    ASSERT_TRUE(list.Refresh());
    decks.BeginDeckDrag(4); // the last deck pressed is no concern of a file drop
    selectCart("G.wav");
    boxes.answers = {MessageBoxes::kYes};

    row.Form1_SSCommand4_DragDrop(DragProxy::Label42);

    ASSERT_EQ(boxes.shown.size(), 1);
    EXPECT_EQ(boxes.shown[0].caption, "You are about to permanently delete a file!");
    EXPECT_FALSE(QFileInfo::exists(folder + "/G.wav"));
    for (int deck = 1; deck <= 6; ++deck)
        EXPECT_EQ(decks.FilePath(deck), cart(deck)) << deck;
}

TEST_F(ButtonRowTest, RefreshReadsTheFolderAgain) {
    addCart(folder, "0 First.wav");
    EXPECT_FALSE(list.names().contains("0 First.wav"));
    row.Form1_SSCommand6_Click();
    EXPECT_EQ(list.names().first(), "0 First.wav");
    EXPECT_TRUE(boxes.shown.isEmpty());
}

} // namespace
