#include "shell/functionkeys.h"

#include "common/keycodes.h"
#include "decks/deckengine.h"
#include "library/cartlist.h"

using namespace VirtualKey;

FunctionKeys::FunctionKeys(DeckEngine& decks, const CartList& list, QObject* parent)
    : QObject(parent), m_decks(decks), m_list(list) {}

void FunctionKeys::HandleFunctionKey(int keyCode, int shift) {
    const bool deckKey = keyCode >= kF1 && keyCode <= kF10;
    const int deck = keyCode - kF1 + 1;
    // Only the exact modifier sets count: Alt, or Shift with Ctrl, fire nothing.
    if (deckKey) {
        if (shift == 0)
            m_decks.FireDeck(deck);
        else if (shift == kShift)
            m_decks.ClearDeck(deck);
        else if (shift == kCtrl && m_list.ListIndex() != -1)
            m_decks.LoadCart(deck);
    }
    if (keyCode == kF11)
        m_decks.StopCart();
    if (keyCode == kF12)
        emit searchFocusRequested();
}
