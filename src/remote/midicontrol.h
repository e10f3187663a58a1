#pragma once

#include "remote/midimap.h"
#include "remote/warningcounter.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

class DeckWatcher;
class FunctionKeys;
class QSocketNotifier;
class RtMidiIn;
class RtMidiOut;

// The bytes of MIDI messages, from the port's thread to the UI thread without a lock: one
// writer (RtMidi's input thread, JACK's process thread under JACK), one reader. A message that
// does not fit whole is dropped and counted.
class MidiByteRing {
public:
    static constexpr std::size_t kSize = 4096;
    bool push(const std::uint8_t* bytes, std::size_t size);
    std::size_t pop(std::uint8_t* out, std::size_t size);
    std::uint64_t dropped() const { return m_dropped.load(std::memory_order_relaxed); }

private:
    std::array<std::uint8_t, kSize> m_bytes{};
    std::atomic<std::size_t> m_head{0}; // written by the writer: bytes pushed so far
    std::atomic<std::size_t> m_tail{0}; // written by the reader: bytes popped so far
    std::atomic<std::uint64_t> m_dropped{0};
};

// The MIDI ports "Airloom" of [midi]: an input whose messages become the operator's actions
// (MidiMap), once per message, through the key map on the UI thread, and an output that lights
// each deck's pad by its state, at each change and in full when a device is connected.
//
// RtMidi (Debian's librtmidi) gives both ALSA's sequencer and JACK MIDI behind one interface;
// everything but the opening of the ports is shared. Under JACK the ports belong to the clients
// "Airloom in" and "Airloom out" (the audio client is "Airloom"). With Connect= the ports are
// connected to the first device port whose name holds that text, and again whenever it comes
// back (checked every 2 s); meanwhile they stay open for anyone to connect.
//
// The input's thread only copies the bytes into a ring and wakes the UI thread through an
// eventfd; parsing (running status, SysEx, stray bytes) happens on the UI thread. Bad input is
// counted by kind on stderr. Created and destroyed on the UI thread.
class MidiControl : public QObject {
    Q_OBJECT
public:
    struct Options {
        bool jack = false;
        QString connect;
        MidiMap map;
    };
    MidiControl(Options options, FunctionKeys& keys, const DeckWatcher& watcher,
                QObject* parent = nullptr);
    ~MidiControl() override;

    bool isOpen() const { return m_in != nullptr; }
    // Carries out the messages in bytes (the input's bytes come here; tests too).
    void handleBytes(const std::uint8_t* bytes, std::size_t size);
    const WarningCounter& warnings() const { return m_warnings; }
    // The light messages sent so far, when recording (tests).
    void recordLights(std::vector<MidiMessage>* record) { m_record = record; }

private:
    static void received(double stamp, std::vector<unsigned char>* message, void* self);
    void drain();
    void sendLight(int deck);
    void sendAllLights();
    void send(const MidiMessage& message);
    // Connects to the Connect= device when it is there and not connected yet.
    void checkDevice();

    Options m_options;
    FunctionKeys& m_keys;
    const DeckWatcher& m_watcher;
    WarningCounter m_warnings{QStringLiteral("MIDI")};
    MidiParser m_parser;
    std::vector<MidiMessage> m_messages;
    std::uint64_t m_sysExTold = 0, m_garbageTold = 0, m_droppedTold = 0;
    std::vector<MidiMessage>* m_record = nullptr;

    MidiByteRing m_ring;
    int m_wake = -1; // eventfd
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::unique_ptr<RtMidiIn> m_in;
    std::unique_ptr<RtMidiOut> m_out;
    QString m_inDevice, m_outDevice; // connected device ports; "" while none
    QTimer m_replug;
};
