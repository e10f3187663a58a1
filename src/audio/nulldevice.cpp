#include "audio/nulldevice.h"

#include <algorithm>
#include <chrono>
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
    if (m_thread.joinable())
        m_thread.join();
}

double NullDevice::callbackLoad() const {
    const auto elapsed = m_elapsedNs.load(std::memory_order_relaxed);
    return elapsed ? static_cast<double>(m_busyNs.load(std::memory_order_relaxed)) / elapsed : 0.0;
}

void NullDevice::run(RenderSource& source) {
    using Clock = std::chrono::steady_clock;
    std::vector<float> buffer(static_cast<std::size_t>(m_periodFrames) * 2);
    const auto period = std::chrono::nanoseconds(1000000000LL * m_periodFrames / m_sampleRate);
    const auto begin = Clock::now();
    auto due = begin;
    while (m_running.load(std::memory_order_relaxed)) {
        const auto start = Clock::now();
        source.render(buffer.data(), m_periodFrames);
        const auto end = Clock::now();
        m_busyNs.fetch_add(static_cast<std::uint64_t>((end - start).count()),
                           std::memory_order_relaxed);
        m_elapsedNs.store(static_cast<std::uint64_t>((end - begin).count()),
                          std::memory_order_relaxed);
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
