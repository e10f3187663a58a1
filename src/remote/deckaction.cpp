#include "remote/deckaction.h"

#include "common/decks.h"
#include "common/keycodes.h"
#include "shell/functionkeys.h"

void PerformDeckAction(FunctionKeys& keys, DeckAction action) {
    using namespace VirtualKey;
    const bool deckAction = action.kind == DeckAction::Fire || action.kind == DeckAction::Empty ||
                            action.kind == DeckAction::Load;
    if (deckAction && (action.deck < 1 || action.deck > kDeckCount))
        return;
    const int deckKey = kF1 + action.deck - 1;
    switch (action.kind) {
    case DeckAction::None:
        break;
    case DeckAction::Fire:
        keys.HandleFunctionKey(deckKey, 0);
        break;
    case DeckAction::Empty:
        keys.HandleFunctionKey(deckKey, kShift);
        break;
    case DeckAction::Load:
        keys.HandleFunctionKey(deckKey, kCtrl);
        break;
    case DeckAction::Stop:
        keys.HandleFunctionKey(kF11, 0);
        break;
    case DeckAction::Search:
        keys.HandleFunctionKey(kF12, 0);
        break;
    }
}
