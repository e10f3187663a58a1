#pragma once

#include <vector>

// Told of each play of a cart on the deck player, as the deck engine starts and ends it
// (the as-run log listens here). The engine calls it at the moment it acts; the observer
// reads what it needs from the engine and the player and never calls the engine's
// routines. With no observer the engine behaves exactly the same.
//
// UI thread only.
class PlayObserver {
public:
    // What the engine is doing to the play of the current deck.
    enum class Ending {
        End,     // the end-of-cart check saw it play to its end
        Stopped, // StopCart, before the player is told
        Cut,     // another deck starts, before the player is closed
    };

    virtual ~PlayObserver() = default;
    // The deck's cart has just been given "Play".
    virtual void playStarted(int deck) = 0;
    // The current deck's play ends (or has ended) this way. Stopped and Cut also come when
    // the cart has already played out unseen, or when nothing plays at all.
    virtual void playEnding(Ending how) = 0;
};

// Hands each event on to several observers, in the order they were added. Not owning.
class PlayObservers : public PlayObserver {
public:
    void add(PlayObserver* observer) { m_observers.push_back(observer); }
    bool empty() const { return m_observers.empty(); }
    void playStarted(int deck) override {
        for (PlayObserver* observer : m_observers)
            observer->playStarted(deck);
    }
    void playEnding(Ending how) override {
        for (PlayObserver* observer : m_observers)
            observer->playEnding(how);
    }

private:
    std::vector<PlayObserver*> m_observers;
};
