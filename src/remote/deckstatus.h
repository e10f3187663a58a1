#pragma once

#include "common/decks.h"
#include "remote/midimap.h"

#include <QObject>
#include <QString>
#include <array>

class DeckEngine;

// What a remote control is told of one deck: its cart's name and length ("0:01:05"), "empty",
// "loaded" or "playing", its mode word and its lock.
struct DeckStatus {
    QString name;
    QString length;
    QString state;
    QString mode;
    bool locked = false;
    PadState pad = PadState::Empty; // playing over locked over loaded
    bool operator==(const DeckStatus&) const = default;

    static DeckStatus Of(const DeckEngine& decks, int deck);
};

// Follows the deck table and says which deck's status changed, so that pads and OSC
// subscribers are told only what is new: once the routine that changed it has returned (a
// load changes a row in several steps), in a queued call. UI thread only.
class DeckWatcher : public QObject {
    Q_OBJECT
public:
    explicit DeckWatcher(const DeckEngine& decks, QObject* parent = nullptr);
    const DeckStatus& status(int deck) const { return m_status[std::size_t(deck - 1)]; }

signals:
    void statusChanged(int deck);

private:
    void refresh();
    void refreshLater();

    const DeckEngine& m_decks;
    std::array<DeckStatus, kDeckCount> m_status;
    bool m_pending = false;
};
