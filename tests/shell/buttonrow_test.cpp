#include "library/libraryrig.h"

#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

// Decks 1..6 hold A.wav..F.wav, deck 5 locked; nothing is selected in the list.
class ButtonRowTest : public ::testing::Test, public LibraryRig {
protected:
    void SetUp() override {
        ASSERT_TRUE(list.setPath(
            makeFolder("carts", {"A.wav", "B.wav", "C.wav", "D.wav", "E.wav", "F.wav"})));
        for (int deck = 1; deck <= 6; ++deck)
            loadDeck(deck, list.names().at(deck - 1));
        decks.ToggleDeckLock(5);
        list.setListIndex(-1);
    }
};

TEST_F(ButtonRowTest, ClearAllSparesThePlayingDeckAndTheLockedOnes) {
    startDeck(3);
    row.Form1_SSCommand4_Click();
    settle();
    EXPECT_EQ(held(), "--C-E-----");
    EXPECT_TRUE(decks.IsPlaying(3));

    // Once stopped, the deck that played last is emptied like any other.
    keys.HandleFunctionKey(VirtualKey::kF11, 0);
    settle();
    ASSERT_EQ(decks.CurrentDeck(), 3);
    row.Form1_SSCommand4_Click();
    EXPECT_EQ(held(), "----E-----");
}

TEST_F(ButtonRowTest, TheTrashEmptiesADroppedDeckOrDeletesADroppedFile) {
    startDeck(2);
    for (int deck : {2, 5, 4}) { // playing, locked, quiet
        decks.BeginDeckDrag(deck);
        row.Form1_SSCommand4_DragDrop(DragProxy::Label1);
    }
    EXPECT_EQ(held(), "ABC-EF----");
    EXPECT_TRUE(decks.IsPlaying(2));
    EXPECT_TRUE(boxes.shown.isEmpty());

    // A file drop asks, deletes, and never empties the deck pressed last.
    decks.BeginDeckDrag(3);
    selectCart("D.wav");
    boxes.answers = {MessageBoxes::kYes};
    row.Form1_SSCommand4_DragDrop(DragProxy::Label42);
    ASSERT_EQ(boxes.shown.size(), 1);
    EXPECT_EQ(boxes.shown[0].caption, "You are about to permanently delete a file!");
    EXPECT_FALSE(QFileInfo::exists(list.Path() + "/D.wav"));
    EXPECT_EQ(held(), "ABC-EF----");
}

} // namespace
