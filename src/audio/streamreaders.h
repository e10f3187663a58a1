#pragma once

#include "audio/workerqueue.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

class Stream;

// The readers that keep the rings of playing carts topped up: each stream has a reader
// thread of its own, so an open, seek or read that a share holds for seconds delays only
// the cart whose file it is, never the cart on air. A reader whose stream has ended takes
// the next stream; one still held in a read is never given another. Each reader wakes
// when its ring may have room for more (a quarter of it free), and at once when its
// stream is cancelled or a caller waits for frames.
//
// add(), cancel(), waitUntilReadable() and finish() are for the UI thread; add() and
// cancel() never block, waitUntilReadable() blocks until the readers have caught up (the
// manual device's determinism), finish() until a deadline at most. The output callback
// never calls this class.
class StreamReaders {
public:
    StreamReaders() : m_progress(std::make_shared<Progress>()) {}
    // Cancels the streams and waits kEndWait at most (finish()).
    ~StreamReaders();
    StreamReaders(const StreamReaders&) = delete;
    StreamReaders& operator=(const StreamReaders&) = delete;

    static constexpr auto kEndWait = std::chrono::milliseconds(500);

    void add(std::shared_ptr<Stream> stream);
    // The voice is gone: its reader stops decoding the stream and lets go of it.
    void cancel(Stream& stream);

    struct Need {
        const Stream* stream;
        std::size_t frames;
    };
    // Blocks until each stream has the frames in its ring, has ended or has its reads
    // withheld on purpose (a test's file source).
    void waitUntilReadable(const std::vector<Need>& needs);

    // Cancels every stream and waits for the readers until deadline; a reader still held
    // in a read then is left behind (it holds its stream and lets go of it when the read
    // returns).
    void finish(WorkerQueue::Clock::time_point deadline);
    // Reader threads made so far (tests, benchmarks).
    std::size_t readerCount() const { return m_readers.size(); }

private:
    // The readers tell waiters of the frames they wrote.
    struct Progress {
        std::mutex mutex;
        std::condition_variable wrote;
        void notify();
    };
    struct Reader {
        std::unique_ptr<WorkerQueue> queue;
        std::weak_ptr<Stream> stream;
    };
    static void pass(const std::shared_ptr<Stream>& stream,
                     const std::shared_ptr<Progress>& progress, const WorkerQueue::Poster& poster);
    Reader* readerOf(const Stream& stream);

    std::shared_ptr<Progress> m_progress;
    std::vector<Reader> m_readers;
};
