#pragma once

#include "audio/samplering.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

class Cart;
class Decoder;

// The frames of a cart that follow its head, decoded by the stream's own reader into a
// ring that the output callback drains.
//
// Created on the UI thread; fill() runs on the stream's reader only and blocks on the
// disk; the output callback only reads the ring and the ended flag; the UI thread reads
// the flags. A read that fails is not the end: the reader opens the file again after a
// short wait and goes on from the frame it had reached, so a cart whose share stalls
// plays on from where it stopped once the share answers.
class Stream {
public:
    // A failed open or read is tried again after this long.
    static constexpr auto kRetryDelay = std::chrono::milliseconds(200);
    // fill()'s answer when the stream needs no more passes.
    static constexpr auto kDone = std::chrono::nanoseconds::max();

    // skipFrames: the frames the voice takes from the cart's head, decoded and dropped here.
    Stream(std::shared_ptr<Cart> cart, int outputRate, std::int64_t skipFrames,
           std::size_t ringFrames);
    ~Stream();
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    const std::shared_ptr<Cart>& cart() const { return m_cart; }
    SampleRing& ring() { return m_ring; }
    const SampleRing& ring() const { return m_ring; }
    // Set after the last frame is in the ring (or on a cancel, or a file that no longer
    // decodes at all). Never on a failed read.
    bool hasEnded() const { return m_ended.load(std::memory_order_acquire); }
    // UI thread: the voice is gone; the reader stops decoding and drops the stream.
    void cancel() { m_cancel.store(true, std::memory_order_relaxed); }
    bool isCancelled() const { return m_cancel.load(std::memory_order_relaxed); }

    // The reader is inside an open or read of the file that has not returned, or waits to
    // try again after one failed: whatever the ring lacks now is the file's doing.
    bool isWaitingOnFile() const;
    // The file's reads are being withheld on purpose now (a test's file source).
    bool isWithheld() const;

    // Reader: opens the file on the first pass, then tops the ring up when at least a
    // quarter of it is free. Returns how long until the next pass should run (zero: at
    // once), or kDone.
    std::chrono::nanoseconds fill();

private:
    void finish();
    // The free frames at which fill() tops the ring up.
    std::size_t roomFrames() const { return m_ring.capacityFrames() / 4; }
    // Until the ring has room for fill() to top it up, if the output drains it from now on.
    std::chrono::nanoseconds timeUntilRoom() const;
    // The reader's file call failed: drop the decoder and try again later.
    std::chrono::nanoseconds retry();

    const std::shared_ptr<Cart> m_cart;
    const int m_outputRate;
    const std::int64_t m_skipFrames;
    SampleRing m_ring;
    // Reader only.
    std::unique_ptr<Decoder> m_decoder;
    std::int64_t m_written = 0; // frames put in the ring
    std::vector<float> m_scratch;
    std::atomic<bool> m_inFileCall{false};
    std::atomic<bool> m_retrying{false};
    std::atomic<bool> m_ended{false};
    std::atomic<bool> m_cancel{false};
};
