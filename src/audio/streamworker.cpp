#include "audio/streamworker.h"

#include "audio/voice.h"

#include <algorithm>
#include <chrono>

namespace {
// The longest a ring waits for the worker to notice it has room: far below the seconds of
// audio a ring holds.
constexpr auto kPollInterval = std::chrono::milliseconds(10);
constexpr int kChunkFrames = 4096;
} // namespace

StreamWorker::StreamWorker() : m_thread([this] { run(); }) {}

StreamWorker::~StreamWorker() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
        for (const auto& stream : m_streams)
            stream->cancel();
    }
    m_wake.notify_all();
    m_thread.join();
}

void StreamWorker::add(std::shared_ptr<Stream> stream) {
    {
        std::lock_guard lock(m_mutex);
        m_streams.push_back(std::move(stream));
        ++m_demand;
    }
    m_wake.notify_all();
}

void StreamWorker::waitUntilReadable(const std::vector<Need>& needs) {
    const auto ready = [&needs] {
        return std::all_of(needs.begin(), needs.end(), [](const Need& need) {
            // The end flag first: frames written before the end are then all counted.
            return need.stream->hasEnded() || need.stream->ring().readableFrames() >= need.frames;
        });
    };
    std::unique_lock lock(m_mutex);
    if (ready())
        return;
    ++m_demand;
    m_wake.notify_all();
    m_progress.wait(lock, ready);
}

void StreamWorker::run() {
    std::vector<float> scratch(static_cast<std::size_t>(kChunkFrames) * 2);
    std::vector<std::shared_ptr<Stream>> streams;
    std::unique_lock lock(m_mutex);
    while (!m_quit) {
        const std::uint64_t demand = m_demand;
        streams = m_streams;
        lock.unlock();
        bool worked = false;
        for (const auto& stream : streams)
            worked = stream->fill(scratch.data(), kChunkFrames) || worked;
        streams.clear();
        lock.lock();
        std::erase_if(m_streams, [](const auto& stream) { return stream->hasEnded(); });
        m_progress.notify_all();
        if (!worked && demand == m_demand && !m_quit)
            m_wake.wait_for(lock, kPollInterval);
    }
}
