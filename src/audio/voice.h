#pragma once

#include "audio/cart.h"
#include "audio/stream.h"

#include <atomic>
#include <cstdint>
#include <memory>

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
