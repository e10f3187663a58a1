#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class Cart;
class Decoder;

// The background thread that prepares carts (decodes their heads into memory), checks
// cached carts against the files on disk and decodes each cart that is longer than its
// head to its end, so that its length is the length that plays (the packet scan of a
// damaged file counts frames that do not decode). That full decode runs in slices of
// kCountSliceSeconds between the other jobs, so it never holds up a preparation for long.
//
// prepare() and revalidate() are for the UI thread and never block; waitUntilIdle()
// blocks the caller until every queued job is done (tests and benchmarks). changed runs
// on the worker thread whenever a cart's length or file state has changed.
class CartPreparer {
public:
    static constexpr int kCountSliceSeconds = 10;

    using ChangeHandler = std::function<void(const std::shared_ptr<Cart>&)>;
    CartPreparer(int outputRate, int headFrames, ChangeHandler changed);
    ~CartPreparer();
    CartPreparer(const CartPreparer&) = delete;
    CartPreparer& operator=(const CartPreparer&) = delete;

    void prepare(std::shared_ptr<Cart> cart);
    // Finds out whether the file at the cart's path is still the one the cart holds.
    void revalidate(std::shared_ptr<Cart> cart);
    void waitUntilIdle();

private:
    enum class Task { Prepare, Revalidate, Count };
    struct Job {
        std::shared_ptr<Cart> cart;
        Task task;
        std::shared_ptr<Decoder> decoder; // Count: the decoder that prepared the head
    };
    void run();
    void push(Job job);
    // Returns the decoder when the cart is longer than its head.
    std::shared_ptr<Decoder> decodeHead(const std::shared_ptr<Cart>& cart);
    // One slice of the full decode; false once the cart's length is known.
    bool count(Job& job);

    const int m_outputRate;
    const int m_headFrames;
    const ChangeHandler m_changed;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Job> m_jobs;
    bool m_busy = false;
    bool m_quit = false;
    std::atomic<bool> m_cancel{false}; // interrupts a decode on shutdown
    std::thread m_thread;
};
