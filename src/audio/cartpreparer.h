#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

class Cart;

// The background thread that prepares carts (decodes their heads into memory) and checks
// cached carts against the files on disk.
//
// prepare() and revalidate() are for the UI thread and never block; waitUntilIdle()
// blocks the caller until every queued job is done (tests and benchmarks).
class CartPreparer {
public:
    CartPreparer(int outputRate, int headFrames);
    ~CartPreparer();
    CartPreparer(const CartPreparer&) = delete;
    CartPreparer& operator=(const CartPreparer&) = delete;

    void prepare(std::shared_ptr<Cart> cart);
    // Marks the cart stale if its file has changed since it was measured.
    void revalidate(std::shared_ptr<Cart> cart);
    void waitUntilIdle();

private:
    struct Job {
        std::shared_ptr<Cart> cart;
        bool prepare;
    };
    void run();
    void decodeHead(Cart& cart);

    const int m_outputRate;
    const int m_headFrames;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Job> m_jobs;
    bool m_busy = false;
    bool m_quit = false;
    std::atomic<bool> m_cancel{false}; // interrupts a decode on shutdown
    std::thread m_thread;
};
