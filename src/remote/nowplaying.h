#pragma once

#include "decks/playobserver.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

class DeckEngine;
class MciDevice;

// The cart on air for the station's RDS encoder and stream: nowplaying.json, replaced whole
// (a temporary file renamed over it) at each play start and end, the same events as the
// as-run log:
//   {"deck":3,"cart":"Station ID","path":"/carts/Station ID.wav","length_ms":30000,
//    "length":"0:00:30","started":"2026-03-01T14:05:09.042+01:00"}
// and {} while nothing plays (also at start-up and exit). Optionally the same as the OSC
// message /airloom/nowplaying (deck, cart, path, length_ms, started; no arguments for
// nothing) to one host and port.
//
// UI thread only. The file is written, and the message sent, on a thread of its own that
// only ever writes the latest state, so a slow disk delays the file and never the decks.
// A failed write is told on stderr once until a write succeeds again.
class NowPlaying : public PlayObserver {
public:
    using Clock = std::function<QDateTime()>;
    NowPlaying(const DeckEngine& decks, const MciDevice& player, QString filePath,
               QString oscHost = {}, int oscPort = 0, Clock clock = &QDateTime::currentDateTime);
    // Writes {} and waits for the thread.
    ~NowPlaying() override;
    NowPlaying(const NowPlaying&) = delete;
    NowPlaying& operator=(const NowPlaying&) = delete;

    void playStarted(int deck) override;
    void playEnding(Ending how) override;
    // Blocks until the latest state has been written (tests).
    void flush();

    // What is on air, as written and sent.
    struct State {
        QByteArray json;
        int deck = 0; // 0: nothing plays
        QString cart, path, started;
        std::int64_t lengthMs = 0;
    };

private:
    void publish(State state);
    void run();
    void write(const State& state);

    const DeckEngine& m_decks;
    const MciDevice& m_player;
    const QString m_filePath;
    const QString m_oscHost;
    const int m_oscPort;
    const Clock m_clock;
    bool m_onAir = false;

    std::mutex m_mutex;
    std::condition_variable m_wake, m_done;
    std::optional<State> m_next; // guarded
    std::uint64_t m_published = 0, m_written = 0;
    bool m_quit = false;
    bool m_failing = false; // writer thread only
    std::thread m_thread;
};
