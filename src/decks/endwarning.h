#pragma once

#include <QObject>

class DeckEngine;
class MciDevice;

// The end-of-cart warning: during the last seconds of the playing cart its time label
// flashes, in the warning colour for the first half of each second and in its own colour
// for the second half, counted from the moment the warning began. The flash stops when the
// cart ends, is stopped or is cut off. A cart with a follower armed (a Loop, or a Sequence
// with a loaded next deck) does not flash: the next cart starts on the frame after its
// last, so no dead air follows.
//
// UI thread only. update() runs after each end-of-cart check (Timer1); the phase follows
// the player's position, so it moves with the output clock.
class EndWarning : public QObject {
    Q_OBJECT
public:
    static constexpr int kPhaseMs = 500;
    // The time label's colours while it shows the warning, as 0xRRGGBB.
    static constexpr quint32 kWarningBackground = 0xFF0000;
    static constexpr quint32 kWarningText = 0xFFFFFF;

    EndWarning(const DeckEngine& decks, const MciDevice& player, int seconds,
               QObject* parent = nullptr);

    void update();
    // The deck whose time label shows the warning colour now; 0 for none.
    int LitDeck() const { return m_litDeck; }

signals:
    // The time label of deck turns to the warning colour (lit) or back to its own.
    void timeLabelLit(int deck, bool lit);

private:
    const DeckEngine& m_decks;
    const MciDevice& m_player;
    const qint64 m_warningMs;
    int m_litDeck = 0;
};
