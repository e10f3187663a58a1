#pragma once

#include "common/keycodes.h"

#include <QObject>

class CartList;
class DeckEngine;

// The keyboard command map of every window. Each forwarding control passes its key-down
// here with the key as a virtual-key code and its shift state (VirtualKey). The key is
// never consumed: the control goes on to handle it as usual, so typing and arrow keys keep
// working. UI thread only.
class FunctionKeys : public QObject {
    Q_OBJECT
public:
    FunctionKeys(DeckEngine& decks, const CartList& list, QObject* parent = nullptr);

    // F1..F10 alone fire their deck, with Shift alone empty it, with Ctrl alone load the
    // list's selected file into it (only when one is selected); other modifier sets do
    // nothing. F11 with any modifiers stops the cart; F12 with any modifiers asks for the
    // search box (searchFocusRequested). Every other key does nothing.
    void HandleFunctionKey(int keyCode, int shift);

signals:
    // F12: the main window comes forward with the keyboard focus in its search box Text1.
    void searchFocusRequested();

private:
    DeckEngine& m_decks;
    const CartList& m_list;
};
