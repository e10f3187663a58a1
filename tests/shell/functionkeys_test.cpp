#include "library/libraryrig.h"

#include <QSignalSpy>
#include <gtest/gtest.h>
#include <tuple>

namespace {

enum class Effect { Nothing, Fire, Clear, Load, Stop, Focus };
using enum Effect;

constexpr int kF1 = VirtualKey::kF1, kF10 = VirtualKey::kF10, kF11 = VirtualKey::kF11,
              kF12 = VirtualKey::kF12, kShift = VirtualKey::kShift, kCtrl = VirtualKey::kCtrl,
              kAlt = VirtualKey::kAlt;

// The key map, one row per key: its deck and its effect alone, with Shift alone, with Ctrl
// alone and with any other modifier set.
struct KeyRow {
    int keyCode;
    int deck = 0;
    Effect alone = Nothing, shift = Nothing, ctrl = Nothing, other = Nothing;
};
const KeyRow kKeyMap[] = {{kF1, 1, Fire, Clear, Load},
                          {kF1 + 8, 9, Fire, Clear, Load},
                          {kF10, 10, Stop, Clear, Load}, // it plays: stopped; emptied, it plays on
                          {kF11, 0, Stop, Stop, Stop, Stop},
                          {kF12, 0, Focus, Focus, Focus, Focus},
                          {kF1 - 1}, // the codes either side of the map and other keys do nothing
                          {kF12 + 1},
                          {0},
                          {'A'},
                          {13},
                          {38}};

// Decks 1, 9 and 10 hold Bed.wav and deck 10 plays it; Jingle.wav is selected in the list
// when asked. Then the key is pressed and only its effect may show: in the deck table, the
// player, the stop flag and the request for the search box.
void expectEffect(int keyCode, int shift, Effect effect, int deck, bool selection = true) {
    SCOPED_TRACE(testing::Message() << "key " << keyCode << " shift " << shift);
    LibraryRig rig;
    const QString folder = rig.makeFolder("carts", {"Bed.wav", "Jingle.wav"});
    ASSERT_TRUE(rig.list.setPath(folder));
    for (int loaded : {1, 9, 10})
        rig.loadDeck(loaded, "Bed.wav");
    rig.startDeck(10);
    rig.list.setListIndex(selection ? 1 : -1);
    const auto state = [&] {
        return std::tuple(rig.held(), rig.decks.CurrentDeck(),
                          rig.decks.IsPlaying(rig.decks.CurrentDeck()),
                          rig.decks.StoppedByOperator());
    };
    auto expected = state();
    QSignalSpy focus(&rig.keys, &FunctionKeys::searchFocusRequested);

    rig.keys.HandleFunctionKey(keyCode, shift);
    rig.settle();

    auto& [held, current, playing, stopped] = expected;
    if (effect == Fire)
        current = deck;
    if (effect == Clear || effect == Load)
        held[deck - 1] = effect == Clear ? '-' : 'J';
    if (effect == Stop)
        playing = false, stopped = true;
    EXPECT_EQ(state(), expected);
    EXPECT_EQ(focus.count(), effect == Focus ? 1 : 0);
}

TEST(KeyMap, EveryKeyWithEveryModifierSet) {
    for (const KeyRow& row : kKeyMap) {
        for (int shift = 0; shift <= (kShift | kCtrl | kAlt); ++shift) {
            expectEffect(row.keyCode, shift,
                         shift == 0        ? row.alone
                         : shift == kShift ? row.shift
                         : shift == kCtrl  ? row.ctrl
                                           : row.other,
                         row.deck);
        }
    }
    expectEffect(kF1 + 4, kCtrl, Nothing, 5, false); // Ctrl loads only with a selection
}

} // namespace
