#include "audio/workerqueue.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <iterator>
#include <mutex>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

struct WorkerQueue::State {
    struct Entry {
        Clock::time_point due;
        Job job;
    };

    std::string name;
    int nice = 0;
    std::mutex mutex;
    std::condition_variable wake;  // a job was posted, made due or the quit asked for
    std::condition_variable idle;  // a job finished
    std::condition_variable ended; // the thread left its loop
    std::deque<Entry> jobs;        // by due time; posts of one time keep their order
    bool busy = false;
    bool quit = false;
    bool finished = false;
    std::atomic<bool> cancel{false};

    bool idleNow(Clock::time_point now) const {
        return !busy && (jobs.empty() || jobs.front().due > now);
    }
    void insert(Clock::time_point due, Job job) {
        auto at = jobs.end();
        while (at != jobs.begin() && std::prev(at)->due > due)
            --at;
        jobs.insert(at, {due, std::move(job)});
    }
};

WorkerQueue::WorkerQueue(std::string name, int nice) : m_state(std::make_shared<State>()) {
    m_state->name = std::move(name);
    m_state->nice = nice;
    // The thread holds the state too, so a thread left behind at the end still finds it.
    m_thread = std::thread([state = m_state] { run(state); });
}

WorkerQueue::~WorkerQueue() {
    if (m_thread.joinable())
        finish(Clock::now() + kQuitWait);
}

void WorkerQueue::Poster::postAfter(Clock::duration delay, Job job) const {
    {
        const std::lock_guard lock(m_state->mutex);
        if (m_state->quit)
            return;
        m_state->insert(Clock::now() + delay, std::move(job));
    }
    m_state->wake.notify_one();
}

void WorkerQueue::wake() {
    {
        const std::lock_guard lock(m_state->mutex);
        const auto now = Clock::now();
        for (auto& entry : m_state->jobs)
            entry.due = std::min(entry.due, now);
    }
    m_state->wake.notify_one();
}

void WorkerQueue::waitUntilIdle() {
    State& s = *m_state;
    std::unique_lock lock(s.mutex);
    s.idle.wait(lock, [&s] { return s.finished || s.idleNow(Clock::now()); });
}

bool WorkerQueue::waitUntilIdle(Clock::time_point deadline) {
    State& s = *m_state;
    std::unique_lock lock(s.mutex);
    return s.idle.wait_until(lock, deadline,
                             [&s] { return s.finished || s.idleNow(Clock::now()); });
}

bool WorkerQueue::isIdle() const {
    const std::lock_guard lock(m_state->mutex);
    return !m_state->busy && m_state->jobs.empty();
}

void WorkerQueue::requestQuit() {
    std::deque<State::Entry> dropped; // destroyed outside the lock: a job may hold a queue
    {
        const std::lock_guard lock(m_state->mutex);
        m_state->quit = true;
        m_state->cancel.store(true, std::memory_order_relaxed);
        dropped.swap(m_state->jobs);
    }
    m_state->wake.notify_all();
    m_state->idle.notify_all();
}

bool WorkerQueue::finish(Clock::time_point deadline) {
    requestQuit();
    if (!m_thread.joinable())
        return true;
    bool ended = false;
    {
        std::unique_lock lock(m_state->mutex);
        ended = m_state->ended.wait_until(lock, deadline, [this] { return m_state->finished; });
    }
    if (ended)
        m_thread.join();
    else
        m_thread.detach();
    return ended;
}

const std::atomic<bool>* WorkerQueue::cancelFlag() const {
    return &m_state->cancel;
}

void WorkerQueue::run(const std::shared_ptr<State>& state) {
    State& s = *state;
    pthread_setname_np(pthread_self(), s.name.c_str()); // seen by top and the benchmarks
    if (s.nice != 0)
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), s.nice);
    std::unique_lock lock(s.mutex);
    while (!s.quit) {
        if (s.jobs.empty()) {
            s.wake.wait(lock);
            continue;
        }
        if (const auto due = s.jobs.front().due; due > Clock::now()) {
            s.wake.wait_until(lock, due);
            continue;
        }
        Job job = std::move(s.jobs.front().job);
        s.jobs.pop_front();
        s.busy = true;
        lock.unlock();
        job();
        job = nullptr; // what the job held goes before the queue counts as idle
        lock.lock();
        s.busy = false;
        s.idle.notify_all();
    }
    s.finished = true;
    s.ended.notify_all();
    s.idle.notify_all();
}
