#include "shell/buttonrow.h"

#include "decks/deckengine.h"
#include "library/cartlibrary.h"

ButtonRow::ButtonRow(DeckEngine& decks, CartLibrary& library)
    : m_decks(decks), m_library(library) {}

void ButtonRow::Form1_SSCommand6_Click() {
    m_library.RefreshCartList();
}

void ButtonRow::Form1_SSCommand4_Click() {
    // The player's mode is read afresh for every deck: a cart may end during the sweep.
    for (int deck = 1; deck <= kDeckCount; ++deck) {
        if (!m_decks.IsPlaying(deck))
            m_decks.ClearDeck(deck);
    }
}

void ButtonRow::Form1_SSCommand4_DragDrop(DragProxy source) {
    switch (source) {
    case DragProxy::DeckCart:
        if (!m_decks.IsPlaying(m_decks.DragSourceDeck()))
            m_decks.ClearDeck(m_decks.DragSourceDeck());
        break;
    case DragProxy::ListFile:
        m_library.DeleteCart();
        break;
    case DragProxy::None:
        break;
    }
}
