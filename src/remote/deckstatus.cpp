#include "remote/deckstatus.h"

#include "decks/deckengine.h"

#include <utility>

DeckStatus DeckStatus::Of(const DeckEngine& decks, int deck) {
    DeckStatus status;
    const bool loaded = !decks.FilePath(deck).isEmpty();
    const bool playing = decks.IsPlaying(deck);
    status.locked = !decks.LockedPath(deck).isEmpty();
    status.mode = decks.ModeWord(deck);
    if (loaded) {
        status.name = decks.Controls(deck).deckCaption;
        status.length = decks.IdleTimeText(deck);
    }
    status.state = playing  ? QStringLiteral("playing")
                   : loaded ? QStringLiteral("loaded")
                            : QStringLiteral("empty");
    status.pad = playing         ? PadState::Playing
                 : status.locked ? PadState::Locked
                 : loaded        ? PadState::Loaded
                                 : PadState::Empty;
    return status;
}

DeckWatcher::DeckWatcher(const DeckEngine& decks, QObject* parent)
    : QObject(parent), m_decks(decks) {
    for (int deck = 1; deck <= kDeckCount; ++deck)
        m_status[std::size_t(deck - 1)] = DeckStatus::Of(decks, deck);
    // A fire changes two rows (the deck cut and the deck started): every row is compared.
    connect(&decks, &DeckEngine::deckChanged, this, &DeckWatcher::refreshLater);
}

void DeckWatcher::refreshLater() {
    if (!std::exchange(m_pending, true))
        QMetaObject::invokeMethod(this, &DeckWatcher::refresh, Qt::QueuedConnection);
}

void DeckWatcher::refresh() {
    m_pending = false;
    for (int deck = 1; deck <= kDeckCount; ++deck) {
        DeckStatus now = DeckStatus::Of(m_decks, deck);
        DeckStatus& known = m_status[std::size_t(deck - 1)];
        if (now == known)
            continue;
        known = std::move(now);
        emit statusChanged(deck);
    }
}
