#pragma once

#include "remote/deckaction.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// A channel message: status (0x80..0xEF, channel in the low nibble) and its data bytes
// (data2 is 0 for the one-byte messages, program and channel pressure).
struct MidiMessage {
    std::uint8_t status = 0;
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;
    bool operator==(const MidiMessage&) const = default;
};

// Splits a MIDI byte stream into channel messages, as a port may deliver it: running status
// (data bytes that reuse the last channel status), real-time bytes anywhere (skipped without
// disturbing the message they interrupt), system common messages (skipped), SysEx (skipped
// to its end, counted) and bytes that belong to nothing (counted). Any bytes at all are
// safe. Pure: one thread at a time.
class MidiParser {
public:
    // Appends the complete channel messages of bytes to out.
    void feed(const std::uint8_t* bytes, std::size_t size, std::vector<MidiMessage>& out);
    std::uint64_t sysExCount() const { return m_sysEx; }
    std::uint64_t garbageCount() const { return m_garbage; }

private:
    std::uint8_t m_running = 0; // channel status in effect; 0 for none
    std::uint8_t m_data[2] = {};
    int m_have = 0;
    int m_skip = 0; // data bytes of a system common message still to skip
    bool m_inSysEx = false;
    std::uint64_t m_sysEx = 0;
    std::uint64_t m_garbage = 0;
};

// What a deck's pad shows.
enum class PadState : std::uint8_t { Empty, Loaded, Playing, Locked };

// A mapping line's message: "note 36" or "cc 64", and "ch 1".."ch 16" after it for one
// channel only (any channel without it). A note acts on its note on (velocity above 0; a
// note on with velocity 0 is a note off), a controller when its value rises to 64 or more.
struct MidiTrigger {
    enum Type : std::uint8_t { Note, Cc };
    Type type = Note;
    int number = 0;  // 0..127
    int channel = 0; // 1..16, 0 for any
    bool operator==(const MidiTrigger&) const = default;

    // nullopt for anything else; "off" and "none" give a trigger of number -1 (no message).
    static std::optional<MidiTrigger> Parse(const QString& text);
};

// The [midi] mapping from messages to the operator's actions, and the pad lights. By default
// notes 36..45 fire decks 1..10 and note 46 stops, on any channel; pads are lit on channel 1
// with velocity 0 (empty), 5 (loaded), 1 (playing) and 3 (locked).
//
// Keys: Fire1..Fire10, Empty1..Empty10, Load1..Load10 (the cart list's selected file), Stop,
// Search = a trigger or "off"; LightEmpty, LightLoaded, LightPlaying, LightLocked = 0..127;
// LightChannel = 1..16. A pad is lit by the message of its deck's Fire trigger.
//
// Pure; one thread at a time (actionFor keeps the controllers' last values).
class MidiMap {
public:
    struct Lights {
        std::array<int, 4> velocity{0, 5, 1, 3}; // by PadState
        int channel = 1;
    };

    MidiMap();
    // The defaults changed by lines (key, value) as written in [midi]. A line that is not
    // understood is added to complaints, naming it and what is kept instead.
    static MidiMap FromLines(const QList<QPair<QString, QString>>& lines, QStringList* complaints);

    // The action message asks for; None for every message that maps to nothing.
    DeckAction actionFor(const MidiMessage& message);
    // The message that lights deck's pad; nullopt when its Fire is not mapped.
    std::optional<MidiMessage> light(int deck, PadState state) const;
    const Lights& lights() const { return m_lights; }
    // The trigger of an action (Fire 3, Stop); number -1 when none.
    MidiTrigger trigger(DeckAction action) const;

private:
    struct Binding {
        DeckAction action;
        MidiTrigger trigger;
    };
    std::vector<Binding> m_bindings;
    Lights m_lights;
    std::array<std::uint8_t, 16 * 128> m_ccValue{}; // last value of each channel's controller
};
