#pragma once

enum class DragProxy;
class CartLibrary;
class DeckEngine;

// What the main window's button row does besides opening windows: the refresh button
// SSCommand6 reads the cart list again, and the trash SSCommand4 empties every deck but
// the playing one on a click and takes drops of a deck (Label1) or a list file (Label42).
// The About, Help, configuration and exit buttons open windows and stay with the window.
// No state of its own. UI thread only.
class ButtonRow {
public:
    ButtonRow(DeckEngine& decks, CartLibrary& library);

    // Refresh of the cart list.
    void Form1_SSCommand6_Click();
    // Clear all decks: every deck is emptied except the one that plays; ClearDeck leaves
    // locked decks as they are. Nothing is sent to the player.
    void Form1_SSCommand4_Click();
    // A drop on the trash: Label1 empties DragSourceDeck unless it plays; Label42 runs
    // DeleteCart; anything else does nothing.
    void Form1_SSCommand4_DragDrop(DragProxy source);

private:
    DeckEngine& m_decks;
    CartLibrary& m_library;
};
