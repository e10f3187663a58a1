#pragma once

#include "audio/outputdevice.h"

#include <atomic>
#include <thread>

// The output used when no sound device can be opened: a thread paced by the steady clock
// calls the render callback once per period, so carts play, end and are timed as on a
// sound card, without being heard. While nothing plays it sleeps: once its source has been
// silent for a whole period after its last sound (so every frame rendered counts as heard),
// it waits for wake(), then renders at once and paces on from then.
//
// UI thread for start(), stop() (which joins the thread) and wake(); the getters never block.
class NullDevice : public OutputDevice {
public:
    explicit NullDevice(int sampleRate = 48000, int periodFrames = 256);
    ~NullDevice() override;

    int sampleRate() const override { return m_sampleRate; }
    int periodFrames() const override { return m_periodFrames; }
    // One period: a frame is "heard" once the period that holds it is due.
    int latencyFrames() const override { return m_periodFrames; }
    std::uint64_t deviceUnderruns() const override {
        return m_late.load(std::memory_order_relaxed);
    }
    double callbackLoad() const override;
    // Asleep, or about to be, until the next wake() (tests and benchmarks).
    bool isResting() const { return m_resting.load(std::memory_order_acquire); }

    void start(RenderSource& source) override;
    void stop() override;
    void wake() override;

private:
    void run(RenderSource& source);

    const int m_sampleRate;
    const int m_periodFrames;
    std::atomic<bool> m_running{false};
    // Bumped by each wake(); the thread sleeps only while it has not moved since before the
    // render that found the source silent, so no wake is lost.
    std::atomic<std::uint32_t> m_wakes{0};
    std::atomic<bool> m_resting{false};
    std::atomic<std::uint64_t> m_late{0};
    std::atomic<std::uint64_t> m_busyNs{0};
    std::atomic<std::uint64_t> m_elapsedNs{0}; // awake time: the sleeps are left out
    std::thread m_thread;
};
