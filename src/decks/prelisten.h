#pragma once

#include "audio/voicetransport.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

class AudioEngine;
class Cart;
class OutputDevice;

// Pre-listening: the operator hears a cart on a second output (headphones, the console's
// cue channel) while another plays on air. The cart comes from the engine's cart cache, is
// decoded as on air and played at its levelling gain, so what is heard is what will play;
// it plays on a transport and a device of its own and never touches a deck, the player or
// anything the decks report.
//
// One cart at a time: starting another replaces it; it ends at the cart's end, at stop(),
// or when its output is lost. statusChanged gives the line the operator reads ("Pre-listen:
// Morning ID.wav 0:07 / 0:15") kUpdateInterval apart while it plays, and "" at its end.
//
// UI thread only. The output is started here and stopped before the transport goes.
class PreListen : public QObject {
    Q_OBJECT
public:
    static constexpr int kUpdateInterval = 250; // ms
    // What jumpToEnd() leaves to hear.
    static constexpr int kEndSeconds = 10;

    PreListen(AudioEngine& engine, std::unique_ptr<OutputDevice> output, QObject* parent = nullptr);
    ~PreListen() override;

    // The cart at path from its start; if it is the one being heard, stops it instead.
    void toggle(const QString& path);
    // The cart at path from its start (a cart still being measured starts once it is).
    void start(const QString& path) { begin(path, false); }
    // The last kEndSeconds of the cart at path (in place of whatever is being heard).
    void jumpToEnd(const QString& path);
    void stop();
    // The output stopped: the pre-listen ends (its supervision reopens the device).
    void outputLost() { stop(); }

    // A cart is being heard, or waits for its measurement to start.
    bool isActive() const { return !m_path.isEmpty(); }
    const QString& path() const { return m_path; }
    QString statusText();
    VoiceTransport& voices() { return m_voices; }
    OutputDevice& output() { return *m_output; }

signals:
    void statusChanged(const QString& text);

private:
    void begin(const QString& path, bool fromEnd);
    void play(const std::shared_ptr<Cart>& cart);
    void tick();

    AudioEngine& m_engine;
    const std::unique_ptr<OutputDevice> m_output;
    VoiceTransport m_voices;
    VoiceHandle m_voice;
    std::shared_ptr<Cart> m_cart;
    QString m_path;         // the cart heard or awaited; empty when none
    bool m_fromEnd = false; // the awaited cart starts kEndSeconds before its end
    QTimer m_timer;
};
