#include "audio/streamworker.h"

#include "audio/voice.h"

#include <algorithm>
#include <chrono>
#include <pthread.h>

namespace {
// The shortest sleep between two looks at rings that had no room.
constexpr auto kMinimumSleep = std::chrono::milliseconds(10);
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

void StreamWorker::cancel(Stream& stream) {
    stream.cancel();
    {
        std::lock_guard lock(m_mutex);
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
    pthread_setname_np(pthread_self(), "airloom-stream"); // seen by top and the benchmarks
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
        if (worked || demand != m_demand || m_quit)
            continue;
        if (m_streams.empty()) {
            m_wake.wait(lock);
            continue;
        }
        // Every ring was too full to top up: none has room before the first of them has
        // drained to a quarter free, at the output's pace.
        auto sleep = std::chrono::nanoseconds::max();
        for (const auto& stream : m_streams)
            sleep = std::min(sleep, stream->timeUntilRoom());
        m_wake.wait_for(lock, std::max<std::chrono::nanoseconds>(sleep, kMinimumSleep));
    }
}
