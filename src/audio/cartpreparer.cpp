#include "audio/cartpreparer.h"

#include "audio/cart.h"
#include "audio/decoder.h"

#include <vector>

CartPreparer::CartPreparer(int outputRate, int headFrames)
    : m_outputRate(outputRate), m_headFrames(headFrames), m_thread([this] { run(); }) {}

CartPreparer::~CartPreparer() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
        m_cancel.store(true, std::memory_order_relaxed);
    }
    m_wake.notify_all();
    m_thread.join();
}

void CartPreparer::prepare(std::shared_ptr<Cart> cart) {
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back({std::move(cart), true});
    }
    m_wake.notify_one();
}

void CartPreparer::revalidate(std::shared_ptr<Cart> cart) {
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back({std::move(cart), false});
    }
    m_wake.notify_one();
}

void CartPreparer::waitUntilIdle() {
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_jobs.empty() && !m_busy; });
}

void CartPreparer::run() {
    std::unique_lock lock(m_mutex);
    while (true) {
        m_wake.wait(lock, [this] { return m_quit || !m_jobs.empty(); });
        if (m_quit)
            break;
        Job job = std::move(m_jobs.front());
        m_jobs.pop_front();
        m_busy = true;
        lock.unlock();
        if (job.prepare)
            decodeHead(*job.cart);
        else if (Cart::identityOf(job.cart->path()) != job.cart->identity())
            job.cart->markStale();
        job.cart.reset();
        lock.lock();
        m_busy = false;
        if (m_jobs.empty())
            m_idle.notify_all();
    }
    m_busy = false;
    m_jobs.clear();
    m_idle.notify_all();
}

void CartPreparer::decodeHead(Cart& cart) {
    if (!cart.isOpenable() || cart.isPrepared())
        return;
    Decoder decoder(m_outputRate);
    std::vector<float> head;
    bool whole = true;
    if (decoder.open(cart.path(), &m_cancel)) {
        head.resize(static_cast<std::size_t>(m_headFrames) * 2);
        const int got = decoder.read(head.data(), m_headFrames);
        float probe[2];
        whole = got < m_headFrames || decoder.read(probe, 1) == 0;
        head.resize(static_cast<std::size_t>(got) * 2);
        head.shrink_to_fit();
    }
    if (m_cancel.load(std::memory_order_relaxed))
        return;
    cart.setHead(std::move(head), whole, decoder);
}
