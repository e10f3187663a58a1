#include "audio/nulldevice.h"

#include <algorithm>
#include <chrono>
#include <pthread.h>
#include <vector>

NullDevice::NullDevice(int sampleRate, int periodFrames)
    : m_sampleRate(sampleRate), m_periodFrames(std::max(1, periodFrames)) {}

NullDevice::~NullDevice() {
    stop();
}

void NullDevice::start(RenderSource& source) {
    if (m_running.exchange(true))
        return;
    m_thread = std::thread([this, &source] { run(source); });
}

void NullDevice::stop() {
    m_running.store(false);
    wake();
    if (m_thread.joinable())
        m_thread.join();
}

void NullDevice::wake() {
    // Release: what the caller handed over is visible to the render that follows.
    m_wakes.fetch_add(1, std::memory_order_release);
    m_wakes.notify_one();
}

double NullDevice::callbackLoad() const {
    const auto elapsed = m_elapsedNs.load(std::memory_order_relaxed);
    return elapsed ? static_cast<double>(m_busyNs.load(std::memory_order_relaxed)) / elapsed : 0.0;
}

void NullDevice::run(RenderSource& source) {
    pthread_setname_np(pthread_self(), "airloom-null"); // seen by top and the benchmarks
    using Clock = std::chrono::steady_clock;
    std::vector<float> buffer(static_cast<std::size_t>(m_periodFrames) * 2);
    const auto period = std::chrono::nanoseconds(1000000000LL * m_periodFrames / m_sampleRate);
    const auto begin = Clock::now();
    std::uint64_t sleptNs = 0; // of the time since begin
    auto due = begin;
    int silentRenders = 0;
    while (m_running.load(std::memory_order_relaxed)) {
        const std::uint32_t wakes = m_wakes.load(std::memory_order_acquire);
        const auto start = Clock::now();
        source.render(buffer.data(), m_periodFrames);
        const auto end = Clock::now();
        m_busyNs.fetch_add(static_cast<std::uint64_t>((end - start).count()),
                           std::memory_order_relaxed);
        m_elapsedNs.store(static_cast<std::uint64_t>((end - begin).count()) - sleptNs,
                          std::memory_order_relaxed);
        silentRenders = source.isSilent() ? silentRenders + 1 : 0;
        // The render after the one that went silent has played out the device's latency:
        // everything rendered has been heard, and a sleep changes no frame count.
        if (silentRenders >= 2) {
            m_resting.store(true, std::memory_order_release);
            m_wakes.wait(wakes, std::memory_order_acquire);
            m_resting.store(false, std::memory_order_relaxed);
            silentRenders = 0;
            sleptNs += static_cast<std::uint64_t>((Clock::now() - end).count());
            due = Clock::now();
            continue;
        }
        due += period;
        if (end > due + period) {
            // More than a period behind (the machine stalled): count it and catch up
            // rather than rendering a burst.
            m_late.fetch_add(1, std::memory_order_relaxed);
            due = end;
        }
        std::this_thread::sleep_until(due);
    }
}
