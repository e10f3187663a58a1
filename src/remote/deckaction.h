#pragma once

#include <cstdint>

class FunctionKeys;

// An operator's action on the decks that a remote control may ask for. Each is carried out
// by the keyboard command map, as the key that does the same: fire is F1..F10, empty
// Shift+F-key, load Ctrl+F-key (the cart list's selected file), stop F11, search F12.
struct DeckAction {
    enum Kind : std::uint8_t { None, Fire, Empty, Load, Stop, Search };
    Kind kind = None;
    int deck = 0; // 1..10 for Fire, Empty and Load

    bool operator==(const DeckAction&) const = default;
};

// UI thread. Hands the action to HandleFunctionKey once; None, and a deck out of range, do
// nothing.
void PerformDeckAction(FunctionKeys& keys, DeckAction action);
