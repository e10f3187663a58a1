#include "audio/streamreaders.h"

#include "audio/stream.h"

#include <algorithm>

StreamReaders::~StreamReaders() {
    finish(WorkerQueue::Clock::now() + kEndWait);
}

void StreamReaders::Progress::notify() {
    // Taken and let go, so that a waiter between its check and its wait is not missed.
    { const std::lock_guard lock(mutex); }
    wrote.notify_all();
}

void StreamReaders::pass(const std::shared_ptr<Stream>& stream,
                         const std::shared_ptr<Progress>& progress,
                         const WorkerQueue::Poster& poster) {
    const std::chrono::nanoseconds next = stream->fill();
    progress->notify();
    if (next == Stream::kDone)
        return;
    poster.postAfter(next, [stream, progress, poster] { pass(stream, progress, poster); });
}

void StreamReaders::add(std::shared_ptr<Stream> stream) {
    // A reader whose last stream is done; a new one when every reader is busy (or held).
    auto reader = std::find_if(m_readers.begin(), m_readers.end(),
                               [](const Reader& r) { return r.queue->isIdle(); });
    if (reader == m_readers.end()) {
        m_readers.push_back({std::make_unique<WorkerQueue>("airloom-stream"), {}});
        reader = std::prev(m_readers.end());
    }
    reader->stream = stream;
    const WorkerQueue::Poster poster = reader->queue->poster();
    poster.post([stream = std::move(stream), progress = m_progress, poster] {
        pass(stream, progress, poster);
    });
}

StreamReaders::Reader* StreamReaders::readerOf(const Stream& stream) {
    for (Reader& reader : m_readers) {
        if (reader.stream.lock().get() == &stream)
            return &reader;
    }
    return nullptr;
}

void StreamReaders::cancel(Stream& stream) {
    stream.cancel();
    if (Reader* reader = readerOf(stream))
        reader->queue->wake();
}

void StreamReaders::waitUntilReadable(const std::vector<Need>& needs) {
    const auto ready = [&needs] {
        return std::all_of(needs.begin(), needs.end(), [](const Need& need) {
            // The end flag first: frames written before the end are then all counted.
            return need.stream->hasEnded() || need.stream->isWithheld() ||
                   need.stream->ring().readableFrames() >= need.frames;
        });
    };
    std::unique_lock lock(m_progress->mutex);
    if (ready())
        return;
    lock.unlock();
    // The readers sleep by the real clock; the caller's clock runs faster.
    for (const Need& need : needs) {
        if (Reader* reader = readerOf(*need.stream))
            reader->queue->wake();
    }
    lock.lock();
    m_progress->wrote.wait(lock, ready);
}

void StreamReaders::finish(WorkerQueue::Clock::time_point deadline) {
    for (Reader& reader : m_readers) {
        if (const auto stream = reader.stream.lock())
            stream->cancel();
        reader.queue->requestQuit();
    }
    for (Reader& reader : m_readers)
        reader.queue->finish(deadline);
    m_readers.clear();
}
