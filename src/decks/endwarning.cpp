#include "decks/endwarning.h"

#include "decks/deckengine.h"
#include "decks/mcidevice.h"

#include <utility>

EndWarning::EndWarning(const DeckEngine& decks, const MciDevice& player, int seconds,
                       QObject* parent)
    : QObject(parent), m_decks(decks), m_player(player), m_warningMs(qint64(seconds) * 1000) {}

void EndWarning::update() {
    int lit = 0;
    const int deck = m_decks.CurrentDeck();
    if (m_decks.IsPlaying(deck) && !m_player.FollowerArmed()) {
        const qint64 remaining = qint64(m_player.Length()) - m_player.Position();
        const qint64 intoWarning = m_warningMs - remaining;
        if (remaining > 0 && intoWarning >= 0 && (intoWarning / kPhaseMs) % 2 == 0)
            lit = deck;
    }
    if (lit == m_litDeck)
        return;
    if (m_litDeck != 0)
        emit timeLabelLit(std::exchange(m_litDeck, 0), false);
    m_litDeck = lit;
    if (lit != 0)
        emit timeLabelLit(lit, true);
}
