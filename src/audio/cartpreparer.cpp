#include "audio/cartpreparer.h"

#include "audio/cart.h"
#include "audio/decoder.h"

#include <pthread.h>
#include <vector>

CartPreparer::CartPreparer(int outputRate, int headFrames, ChangeHandler changed)
    : m_outputRate(outputRate), m_headFrames(headFrames), m_changed(std::move(changed)),
      m_thread([this] { run(); }) {}

CartPreparer::~CartPreparer() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
        m_cancel.store(true, std::memory_order_relaxed);
    }
    m_wake.notify_all();
    m_thread.join();
}

void CartPreparer::push(Job job) {
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
}

void CartPreparer::prepare(std::shared_ptr<Cart> cart) {
    push({std::move(cart), Task::Prepare, nullptr});
}

void CartPreparer::revalidate(std::shared_ptr<Cart> cart) {
    push({std::move(cart), Task::Revalidate, nullptr});
}

void CartPreparer::waitUntilIdle() {
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_jobs.empty() && !m_busy; });
}

void CartPreparer::run() {
    pthread_setname_np(pthread_self(), "airloom-prepare"); // seen by top and the benchmarks
    std::unique_lock lock(m_mutex);
    while (true) {
        m_wake.wait(lock, [this] { return m_quit || !m_jobs.empty(); });
        if (m_quit)
            break;
        Job job = std::move(m_jobs.front());
        m_jobs.pop_front();
        m_busy = true;
        lock.unlock();
        bool again = false;
        switch (job.task) {
        case Task::Prepare:
            job.decoder = decodeHead(job.cart);
            job.task = Task::Count;
            again = job.decoder != nullptr;
            break;
        case Task::Revalidate:
            if (job.cart->checkFile() && m_changed)
                m_changed(job.cart);
            break;
        case Task::Count:
            again = count(job);
            break;
        }
        if (!again)
            job = {};
        lock.lock();
        // A full decode goes on behind the jobs queued meanwhile.
        if (again)
            m_jobs.push_back(std::move(job));
        m_busy = false;
        if (m_jobs.empty())
            m_idle.notify_all();
    }
    m_busy = false;
    m_jobs.clear();
    m_idle.notify_all();
}

std::shared_ptr<Decoder> CartPreparer::decodeHead(const std::shared_ptr<Cart>& cart) {
    if (!cart->isOpenable() || cart->isPrepared())
        return nullptr;
    auto decoder = std::make_shared<Decoder>(m_outputRate);
    std::vector<float> head;
    bool whole = true;
    if (decoder->open(cart->source(), &m_cancel)) {
        head.resize(static_cast<std::size_t>(m_headFrames) * 2);
        const int got = decoder->read(head.data(), m_headFrames);
        whole = got < m_headFrames || decoder->skip(1) == 0;
        head.resize(static_cast<std::size_t>(got) * 2);
        head.shrink_to_fit();
    }
    if (m_cancel.load(std::memory_order_relaxed))
        return nullptr;
    if (cart->setHead(std::move(head), whole, *decoder) && m_changed)
        m_changed(cart);
    return whole ? nullptr : decoder;
}

bool CartPreparer::count(Job& job) {
    // A cart nobody holds any more need not be measured.
    if (job.cart.use_count() == 1 || m_cancel.load(std::memory_order_relaxed))
        return false;
    const std::int64_t slice = std::int64_t{kCountSliceSeconds} * m_outputRate;
    if (job.decoder->skip(slice) == slice)
        return true;
    if (m_cancel.load(std::memory_order_relaxed))
        return false;
    if (job.cart->setDecodedLength(job.decoder->outputFrames(), m_outputRate) && m_changed)
        m_changed(job.cart);
    return false;
}
