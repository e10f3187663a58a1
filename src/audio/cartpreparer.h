#pragma once

#include "audio/workerqueue.h"

#include <chrono>
#include <functional>
#include <memory>

class Cart;
class Decoder;

// The background thread that prepares carts (decodes their heads into memory) and decodes
// each cart that is longer than its head to its end, so that its length is the length that plays
// (the packet scan of a damaged file counts frames that do not decode). That full decode runs in
// slices of kCountSliceSeconds between the other jobs, so it never holds up a preparation for long.
// A read that fails leaves the cart as it was (no head, no corrected length) and is tried
// again after a back-off, and at the cart's next prepare().
//
// prepare() is for the UI thread and never blocks; waitUntilIdle() blocks the caller until
// every job due is done (tests and benchmarks). changed runs on the worker thread whenever
// a cart's length has changed; it may run after
// the preparer is gone (a job left behind in a hung read at the end), so it holds what it
// reaches.
class CartPreparer {
public:
    static constexpr int kCountSliceSeconds = 10;
    // The first retry after a failed read; each further one waits twice as long.
    static constexpr auto kRetryDelay = std::chrono::milliseconds(500);
    static constexpr int kRetries = 5;

    using ChangeHandler = std::function<void(const std::shared_ptr<Cart>&)>;
    CartPreparer(int outputRate, int headFrames, ChangeHandler changed);
    CartPreparer(const CartPreparer&) = delete;
    CartPreparer& operator=(const CartPreparer&) = delete;

    void prepare(std::shared_ptr<Cart> cart);
    void waitUntilIdle() { m_queue.waitUntilIdle(); }
    WorkerQueue& queue() { return m_queue; }

private:
    // What the jobs share with the preparer; a job left behind at the end keeps it.
    struct Context {
        int outputRate;
        int headFrames;
        ChangeHandler changed;
        const std::atomic<bool>* cancel;
        WorkerQueue::Poster poster;
    };
    static void prepareJob(const std::shared_ptr<Context>& context, std::shared_ptr<Cart> cart,
                           int attempt);
    // One slice of the full decode; decoder null: start it (again) from the top.
    static void countJob(const std::shared_ptr<Context>& context, std::shared_ptr<Cart> cart,
                         std::shared_ptr<Decoder> decoder, int attempt);
    static std::chrono::milliseconds retryDelay(int attempt);

    WorkerQueue m_queue;
    std::shared_ptr<Context> m_context;
};
