#pragma once

#include "audio/voice.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

// The output callback's side of the engine: adopts the voices the UI thread hands over,
// mixes them from their heads and rings, ramps them out when they are stopped or closed,
// starts a voice's armed follower on the frame after its last, and counts rendered frames
// and underruns.
//
// render() runs on the output callback thread and never blocks, allocates, locks or logs.
// add(), withdraw() and the counters are for the UI thread and never block.
class Mixer {
public:
    static constexpr int kMaxVoices = 16;
    // A stop or close fades over at most this long, against clicks.
    static constexpr int kRampMicroseconds = 2000;
    // Frames mixed per pass; longer callbacks are split.
    static constexpr int kChunkFrames = 1024;

    explicit Mixer(int sampleRate);

    // UI thread: hands a voice to the callback. False when every slot is taken.
    bool add(Voice* voice);
    // UI thread: takes back a voice the callback has not adopted yet. False when the
    // callback holds it; it then lets go of it (released) after a Release request.
    bool withdraw(Voice* voice);

    // Output callback: fills frames interleaved stereo frames.
    void render(float* out, int frames) noexcept;
    // Output callback, after render: no voice waits in the inbox and none can sound or
    // change until the UI thread hands one over, arms a follower or changes a request.
    bool isSilent() const noexcept;

    // Frames rendered since the start.
    std::uint64_t renderedFrames() const { return m_rendered.load(std::memory_order_acquire); }
    // Periods in which a playing cart had no frames ready (its decoder lagged).
    std::uint64_t underruns() const { return m_underruns.load(std::memory_order_relaxed); }

private:
    void adopt();
    void renderChunk(float* out, int frames, std::uint64_t firstFrame);
    // Mixes one voice; returns the voice that holds its slot afterwards: itself, the
    // follower it handed over to, or null once it is released.
    Voice* mixVoice(Voice& voice, float* out, int frames, std::uint64_t firstFrame);
    // The voice has run out: its follower, if armed, plays the rest of the chunk.
    Voice* handOver(Voice& voice, float* out, int frames, std::uint64_t firstFrame);
    int pull(Voice& voice, float* dst, int frames);

    const int m_rampFrames;
    // UI thread writes a voice into a free slot; the callback takes it out.
    std::array<std::atomic<Voice*>, kMaxVoices> m_inbox{};
    // Callback only.
    std::array<Voice*, kMaxVoices> m_active{};
    int m_activeCount = 0;
    std::vector<float> m_scratch;
    std::atomic<std::uint64_t> m_rendered{0};
    std::atomic<std::uint64_t> m_underruns{0};
};
