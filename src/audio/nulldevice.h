#pragma once

#include "audio/outputdevice.h"

#include <atomic>
#include <thread>

// The output used when no sound device can be opened: a thread paced by the steady clock
// calls the render callback once per period, so carts play, end and are timed as on a
// sound card, without being heard.
//
// UI thread for start() and stop() (stop() joins the thread); the getters never block.
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

    void start(RenderSource& source) override;
    void stop() override;

private:
    void run(RenderSource& source);

    const int m_sampleRate;
    const int m_periodFrames;
    std::atomic<bool> m_running{false};
    std::atomic<std::uint64_t> m_late{0};
    std::atomic<std::uint64_t> m_busyNs{0};
    std::atomic<std::uint64_t> m_elapsedNs{0};
    std::thread m_thread;
};
