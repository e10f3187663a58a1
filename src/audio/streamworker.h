#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class Stream;

// The decoder thread that keeps the rings of playing carts topped up. It wakes when the
// ring that drains first may have room for more (a quarter of it free), and at once when
// a stream is added or cancelled or a caller waits for frames; with no stream it sleeps.
//
// add(), cancel() and waitUntilReadable() are for the UI thread; add() and cancel() never
// block, waitUntilReadable() blocks until the decoder has caught up (the manual device's
// determinism). The output callback never calls this class.
class StreamWorker {
public:
    StreamWorker();
    ~StreamWorker();
    StreamWorker(const StreamWorker&) = delete;
    StreamWorker& operator=(const StreamWorker&) = delete;

    void add(std::shared_ptr<Stream> stream);
    // The voice is gone: the worker stops decoding the stream and lets go of it.
    void cancel(Stream& stream);

    struct Need {
        const Stream* stream;
        std::size_t frames;
    };
    // Blocks until each stream has the frames in its ring or has ended.
    void waitUntilReadable(const std::vector<Need>& needs);

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;     // work for the worker
    std::condition_variable m_progress; // the worker wrote frames
    std::vector<std::shared_ptr<Stream>> m_streams;
    std::uint64_t m_demand = 0; // bumped by each waiter, so no wake-up is lost
    bool m_quit = false;
    std::thread m_thread;
};
