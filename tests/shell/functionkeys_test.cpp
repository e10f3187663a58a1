#include "library/libraryrig.h"
#include "shell/functionkeys.h"

#include <QSignalSpy>
#include <array>
#include <gtest/gtest.h>
#include <ostream>

namespace {

constexpr int kF1 = FunctionKeys::kF1;
constexpr int kF3 = kF1 + 2;
constexpr int kF5 = kF1 + 4;
constexpr int kF9 = kF1 + 8;
constexpr int kF10 = FunctionKeys::kF10;
constexpr int kF11 = FunctionKeys::kF11;
constexpr int kF12 = FunctionKeys::kF12;
constexpr int kShift = FunctionKeys::kShift;
constexpr int kCtrl = FunctionKeys::kCtrl;
constexpr int kAlt = FunctionKeys::kAlt;

enum class Effect { Nothing, Fire, Clear, Load, Stop, Focus };

struct KeyCase {
    int keyCode;
    int shift;
    Effect effect;
    int deck; // the deck fired, cleared or loaded
};

std::ostream& operator<<(std::ostream& out, const KeyCase& c) {
    return out << "key " << c.keyCode << " shift " << c.shift;
}

// What the keys can change: the deck table, the player and the stop flag.
struct DeckState {
    std::array<QString, DeckEngine::kDeckCount> paths;
    int currentDeck = 0;
    bool playing = false;
    bool stoppedByOperator = false;

    static DeckState of(const DeckEngine& decks) {
        DeckState state;
        for (int deck = 1; deck <= DeckEngine::kDeckCount; ++deck)
            state.paths[std::size_t(deck - 1)] = decks.FilePath(deck);
        state.currentDeck = decks.CurrentDeck();
        state.playing = decks.IsPlaying(decks.CurrentDeck());
        state.stoppedByOperator = decks.StoppedByOperator();
        return state;
    }
    bool operator==(const DeckState&) const = default;
};

// Every deck holds Bed.wav, deck 10 plays it, and Jingle.wav is selected in the list.
class KeyMapTest : public LibraryRig, public ::testing::WithParamInterface<KeyCase> {
protected:
    void SetUp() override {
        LibraryRig::SetUp();
        folder = makeFolder("carts", {"Bed.wav", "Jingle.wav"});
        ASSERT_TRUE(list.setPath(folder));
        for (int deck = 1; deck <= DeckEngine::kDeckCount; ++deck)
            loadDeck(deck, "Bed.wav");
        startDeck(10);
        ASSERT_TRUE(decks.IsPlaying(10));
        selectCart("Jingle.wav");
    }

    QString folder;
};

TEST_P(KeyMapTest, KeyHasItsEffect) {
    const KeyCase& key = GetParam();
    const DeckState before = DeckState::of(decks);
    QSignalSpy focus(&keys, &FunctionKeys::searchFocusRequested);

    keys.HandleFunctionKey(key.keyCode, key.shift);
    settle();

    DeckState expected = before;
    switch (key.effect) {
    case Effect::Nothing:
    case Effect::Focus:
        break;
    case Effect::Fire:
        expected.currentDeck = key.deck;
        break;
    case Effect::Clear:
        expected.paths[std::size_t(key.deck - 1)].clear();
        break;
    case Effect::Load:
        expected.paths[std::size_t(key.deck - 1)] = folder + "/Jingle.wav";
        break;
    case Effect::Stop:
        expected.playing = false;
        expected.stoppedByOperator = true;
        break;
    }
    EXPECT_EQ(DeckState::of(decks), expected);
    EXPECT_EQ(focus.count(), key.effect == Effect::Focus ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    AllKeys, KeyMapTest,
    ::testing::Values(
        // F1..F10 alone fire; the key of the playing deck stops it.
        KeyCase{kF1, 0, Effect::Fire, 1}, KeyCase{kF9, 0, Effect::Fire, 9},
        KeyCase{kF10, 0, Effect::Stop, 10},
        // With Shift they empty the deck, the playing one included (it plays on).
        KeyCase{kF1, kShift, Effect::Clear, 1}, KeyCase{kF10, kShift, Effect::Clear, 10},
        // With Ctrl they load the selected file.
        KeyCase{kF1, kCtrl, Effect::Load, 1}, KeyCase{kF5, kCtrl, Effect::Load, 5},
        KeyCase{kF10, kCtrl, Effect::Load, 10},
        // Any other modifier set does nothing.
        KeyCase{kF3, kAlt, Effect::Nothing, 0}, KeyCase{kF3, kShift | kCtrl, Effect::Nothing, 0},
        KeyCase{kF3, kShift | kAlt, Effect::Nothing, 0},
        KeyCase{kF3, kCtrl | kAlt, Effect::Nothing, 0},
        KeyCase{kF3, kShift | kCtrl | kAlt, Effect::Nothing, 0},
        // F11 stops with any modifiers.
        KeyCase{kF11, 0, Effect::Stop, 0}, KeyCase{kF11, kShift, Effect::Stop, 0},
        KeyCase{kF11, kCtrl, Effect::Stop, 0}, KeyCase{kF11, kAlt, Effect::Stop, 0},
        KeyCase{kF11, kShift | kCtrl | kAlt, Effect::Stop, 0},
        // F12 asks for the search box with any modifiers.
        KeyCase{kF12, 0, Effect::Focus, 0}, KeyCase{kF12, kShift, Effect::Focus, 0},
        KeyCase{kF12, kCtrl, Effect::Focus, 0}, KeyCase{kF12, kAlt, Effect::Focus, 0},
        KeyCase{kF12, kShift | kCtrl | kAlt, Effect::Focus, 0},
        // Every other key does nothing: the codes on either side of the map, letters,
        // Enter and the arrows.
        KeyCase{kF1 - 1, 0, Effect::Nothing, 0}, KeyCase{kF1 - 1, kCtrl, Effect::Nothing, 0},
        KeyCase{kF12 + 1, 0, Effect::Nothing, 0}, KeyCase{0, 0, Effect::Nothing, 0},
        KeyCase{'A', 0, Effect::Nothing, 0}, KeyCase{'A', kShift, Effect::Nothing, 0},
        KeyCase{13, 0, Effect::Nothing, 0}, KeyCase{38, 0, Effect::Nothing, 0},
        KeyCase{40, kShift, Effect::Nothing, 0}));

class FunctionKeyTest : public LibraryRig {
protected:
    void SetUp() override {
        LibraryRig::SetUp();
        folder = makeFolder("carts", {"News.wav", "Station ID.wav", "Sunday.wav"});
        ASSERT_TRUE(list.setPath(folder));
    }

    QString folder;
};

TEST_F(FunctionKeyTest, CtrlLoadsOnlyWithASelection) {
    keys.HandleFunctionKey(kF5, kCtrl);
    EXPECT_EQ(decks.FilePath(5), "");

    list.CartListSearch("Sta");
    keys.HandleFunctionKey(kF1 + 3, kCtrl);
    EXPECT_EQ(decks.FilePath(4), folder + "/Station ID.wav");
    EXPECT_EQ(decks.Controls(4).deckCaption, "Station ID");
}

TEST_F(FunctionKeyTest, EachRepeatOfAHeldKeyActsAgain) {
    loadDeck(3, "News.wav");
    keys.HandleFunctionKey(kF3, 0);
    settle();
    EXPECT_TRUE(decks.IsPlaying(3));
    keys.HandleFunctionKey(kF3, 0); // auto-repeat
    settle();
    EXPECT_FALSE(decks.IsPlaying(3));
    keys.HandleFunctionKey(kF3, 0);
    settle();
    EXPECT_TRUE(decks.IsPlaying(3));
}

TEST_F(FunctionKeyTest, ShiftLeavesALockedDeckAlone) {
    loadDeck(10, "Sunday.wav");
    decks.ToggleDeckLock(10);
    keys.HandleFunctionKey(kF10, kShift);
    EXPECT_EQ(decks.FilePath(10), folder + "/Sunday.wav");
    decks.ToggleDeckLock(10);
    keys.HandleFunctionKey(kF10, kShift);
    EXPECT_EQ(decks.FilePath(10), "");
}

} // namespace
