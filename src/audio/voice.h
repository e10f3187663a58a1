#pragma once

#include "audio/cart.h"
#include "audio/stream.h"

#include <atomic>
#include <cstdint>
#include <memory>

// One play of a cart: the head it starts from, the stream that continues it, and the
// state the output callback reports back.
//
// The UI thread creates a voice, sets its request and reads what the callback reports;
// the output callback reads the request and writes the rest. No call blocks. The UI
// thread deletes a voice only once the callback has let go of it (released()), which it
// does when the voice is released or has handed over to its follower.
struct Voice {
    enum Request { Run, Pause, Release };

    std::shared_ptr<Cart> cart;
    std::shared_ptr<Stream> stream; // null when the head is the whole cart
    const float* head = nullptr;
    std::int64_t headFrames = 0;

    // UI thread to callback. gain is set before the voice is handed over and never changes.
    std::atomic<int> request{Run};
    float gain = 1.0f; // the cart's levelling gain
    // The voice armed to start on the frame after this one's last. The UI thread stores it
    // and may take it back; the callback takes it when this voice runs out, and from then
    // on owns it as it owns an adopted voice.
    std::atomic<Voice*> follower{nullptr};

    // UI thread only: the handle's number, and the number of the follower stored above.
    std::uint64_t id = 0;
    std::uint64_t armedId = 0;

    // Callback to UI thread. consumed and lastFrame are published by the release stores
    // of ended and released; while the voice plays they may be one period apart.
    std::atomic<std::int64_t> consumed{0};   // cart frames rendered so far
    std::atomic<std::uint64_t> lastFrame{0}; // device frame after the last one rendered
    std::atomic<bool> ended{false};          // the whole cart has been rendered
    std::atomic<bool> released{false};       // the callback will not touch it again

    // Callback only.
    std::int64_t position = 0;
    bool started = false;
    bool paused = false;
    bool finished = false;
};
