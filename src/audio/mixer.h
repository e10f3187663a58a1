#pragma once

#include "audio/spscqueue.h"
#include "audio/voice.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

// The output callback's side of the engine: takes the UI thread's commands from a queue
// (add a voice, arm or disarm its follower, pause, resume, release), mixes the voices from
// their heads and rings, ramps them out when they are stopped or released, starts a
// voice's armed follower on the frame after its last, keeps what leaves it finite and
// within full scale, and answers with events (ended, handed over, released). A voice the
// callback lets go of is named in exactly one event (handed over or released), its last
// touch; the UI thread deletes it only after taking that event.
//
// render() and isSilent() run on the output callback thread and never block, allocate,
// lock or log. send(), takeEvent() and the counters are for the UI thread and never block.
class Mixer {
public:
    // Voices in play at once, armed followers included; the UI thread keeps to it, and
    // the callback takes a voice only when it has a slot for it.
    static constexpr int kMaxVoices = 32;
    // A stop or close fades over at most this long, against clicks.
    static constexpr int kRampMicroseconds = 2000;
    // Frames mixed per pass; longer callbacks are split.
    static constexpr int kChunkFrames = 1024;

    struct Command {
        enum Kind : std::uint8_t { Add, Arm, Disarm, Pause, Resume, Release };
        Kind kind = Add;
        // Add and Arm: the voice handed over. Arm adds it as the follower of target.
        Voice* voice = nullptr;
        // The voice the command is for, by number: the callback may have let go of it.
        std::uint64_t target = 0;
    };
    struct Event {
        // Ended: played out with no follower. HandedOver: played out (or was already) and
        // let go of; next plays on in its place. Released: let go of without a handover
        // (released, or a follower dropped).
        enum Kind : std::uint8_t { Ended, HandedOver, Released };
        Kind kind = Ended;
        std::uint64_t voice = 0;
        std::uint64_t next = 0;
    };

    explicit Mixer(int sampleRate);

    // UI thread: queues a command for the next render. False when the queue is full.
    bool send(const Command& command) { return m_commands.push(command); }
    // UI thread: the oldest event not yet taken; false when there is none.
    bool takeEvent(Event& event) { return m_events.pop(event); }

    // Output callback: fills frames interleaved stereo frames.
    void render(float* out, int frames) noexcept;
    // Output callback, after render: no command waits and no voice can sound or change
    // until the UI thread sends one.
    bool isSilent() const noexcept;

    // Frames rendered since the start.
    std::uint64_t renderedFrames() const { return m_rendered.load(std::memory_order_acquire); }
    // Periods in which a playing cart had no frames ready (its decoder lagged).
    std::uint64_t underruns() const { return m_underruns.load(std::memory_order_relaxed); }
    // Samples of the mix that were not finite (NaN, infinite) and went out as silence.
    std::uint64_t nonFiniteSamples() const { return m_nonFinite.load(std::memory_order_relaxed); }

private:
    void takeCommands();
    void apply(const Command& command);
    // The voice in play with that number, else the one that took over from it (by a
    // handover the sender had not heard of yet), else null.
    Voice* playing(std::uint64_t id) const;
    // Lets go of a voice that never played (a follower taken back or not wanted).
    void drop(Voice* voice);
    void releaseVoice(Voice& voice);
    void report(Event::Kind kind, const Voice& voice, const Voice* next = nullptr);
    void renderChunk(float* out, int frames, std::uint64_t firstFrame);
    // Mixes one voice; returns the voice that holds its slot afterwards: itself, the
    // follower it handed over to, or null once it is released.
    Voice* mixVoice(Voice& voice, float* out, int frames, std::uint64_t firstFrame);
    // The voice has run out: its follower, if armed, plays the rest of the chunk.
    Voice* handOver(Voice& voice, float* out, int frames, std::uint64_t firstFrame);
    int pull(Voice& voice, float* dst, int frames);

    const int m_rampFrames;
    // Whether the callback can take the command now: a slot for a voice it adds, and room
    // for every event it may still owe.
    bool canTake(const Command& command) const;

    SpscQueue<Command, 256> m_commands;
    // Each voice is named in at most two events (ended, then handed over or released); a
    // slot's voice and its follower owe at most four. A command is taken only while the
    // queue has room for those of every slot and its own: no event is ever lost.
    static constexpr int kEventsOwedPerSlot = 4;
    SpscQueue<Event, 256> m_events;
    static_assert(decltype(m_events)::capacity() > kEventsOwedPerSlot * (kMaxVoices + 1));
    // Callback only.
    std::array<Voice*, kMaxVoices> m_active{};
    int m_activeCount = 0;
    std::vector<float> m_scratch;
    std::atomic<std::uint64_t> m_rendered{0};
    std::atomic<std::uint64_t> m_underruns{0};
    std::atomic<std::uint64_t> m_nonFinite{0};
};

// Output callback: keeps every sample finite and within full scale, the last guard before
// the device. NaN and infinities become silence, the rest is clipped at ±1. Returns how many
// samples were not finite. No branch per sample.
int keepWithinFullScale(float* samples, std::size_t count) noexcept;
