#pragma once

#include "audio/cart.h"
#include "audio/decoder.h"
#include "audio/samplering.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

// The frames of a cart that follow its head, decoded by the stream worker into a ring
// that the output callback drains.
//
// Created on the UI thread; fill() runs on the stream worker only and blocks on the disk;
// the output callback only reads the ring and the ended flag.
class Stream {
public:
    // skipFrames: the frames the voice takes from the cart's head, decoded and dropped here.
    Stream(std::shared_ptr<Cart> cart, int outputRate, std::int64_t skipFrames,
           std::size_t ringFrames);

    SampleRing& ring() { return m_ring; }
    const SampleRing& ring() const { return m_ring; }
    // Set after the last frame is in the ring (or on a failure or cancel).
    bool hasEnded() const { return m_ended.load(std::memory_order_acquire); }
    // UI thread: the voice is gone; the worker stops decoding and drops the stream.
    void cancel() { m_cancel.store(true, std::memory_order_relaxed); }
    bool isCancelled() const { return m_cancel.load(std::memory_order_relaxed); }

    // Stream worker: opens the file on the first call, then tops the ring up when at least
    // a quarter of it is free. Returns whether it did any work. scratch holds chunkFrames.
    bool fill(float* scratch, int chunkFrames);
    // Until the ring has room for fill() to top it up, if the output drains it from now on.
    std::chrono::nanoseconds timeUntilRoom() const;

private:
    void finish();
    // The free frames at which fill() tops the ring up.
    std::size_t roomFrames() const { return m_ring.capacityFrames() / 4; }

    const std::shared_ptr<Cart> m_cart;
    const int m_outputRate;
    const std::int64_t m_skipFrames;
    SampleRing m_ring;
    std::unique_ptr<Decoder> m_decoder; // stream worker only
    std::atomic<bool> m_ended{false};
    std::atomic<bool> m_cancel{false};
};

// One play of a cart: the head it starts from, the stream that continues it, and the
// state the output callback keeps of it.
//
// The UI thread builds a voice and hands it to the callback in a message (Mixer); from
// then on only the callback changes it, and it says by a message when it has let go of
// it, after which the UI thread may delete it. The UI thread reads only consumed and
// lastFrame meanwhile. No member blocks.
struct Voice {
    enum Request { Run, Pause, Release };

    // Set before the voice is handed over and never changed after.
    std::uint64_t id = 0; // the number of its handle, never given twice
    std::shared_ptr<Cart> cart;
    std::shared_ptr<Stream> stream; // null when the head is the whole cart
    const float* head = nullptr;
    std::int64_t headFrames = 0;
    float gain = 1.0f; // the cart's levelling gain

    // Callback to UI thread, published with each event about the voice; while it plays
    // they may be one period apart.
    std::atomic<std::int64_t> consumed{0};   // cart frames rendered so far
    std::atomic<std::uint64_t> lastFrame{0}; // device frame after the last one rendered

    // Callback only.
    int request = Run;
    // Armed to start on the frame after this voice's last; owned by the callback.
    Voice* follower = nullptr;
    // The voice this one took over from: a command the UI thread sent that voice before it
    // heard of the handover applies to this one.
    std::uint64_t predecessorId = 0;
    std::int64_t position = 0;
    bool started = false;
    bool paused = false;
    bool finished = false;
};
