#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// One named thread that runs the jobs posted to it, one at a time: each job as soon as
// the jobs before it are done, or a delayed job once its time has come.
//
// Any thread may post, wake and wait; the owner's thread destroys it. Jobs run on the
// worker thread and may block on the disk. A file on a share that stops answering can
// hold a job in a read for minutes, so the end never waits without limit: requestQuit()
// drops the jobs not started and raises cancelFlag(), finish() waits for the running job
// until a deadline and then leaves the thread behind, detached; it frees the queue's state
// when its job returns. A job therefore holds shared ownership of everything it touches.
class WorkerQueue {
    struct State;

public:
    using Job = std::function<void()>;
    using Clock = std::chrono::steady_clock;
    // How long the destructor waits for a running job, when finish() was not called.
    static constexpr auto kQuitWait = std::chrono::milliseconds(500);

    // name: the thread's name as top shows it (at most 15 characters). nice: raised for a
    // thread whose work can wait for the threads that feed the output.
    explicit WorkerQueue(std::string name, int nice = 0);
    ~WorkerQueue();
    WorkerQueue(const WorkerQueue&) = delete;
    WorkerQueue& operator=(const WorkerQueue&) = delete;

    // Posts to the queue, from a job too: it stays valid after the queue is gone (its
    // posts are then dropped), so a job left behind at the end may hold it.
    class Poster {
    public:
        // Runs job after the jobs that are due now.
        void post(Job job) const { postAfter(Clock::duration::zero(), std::move(job)); }
        // Runs job once delay has passed, or earlier if wake() is called first.
        void postAfter(Clock::duration delay, Job job) const;

    private:
        friend class WorkerQueue;
        explicit Poster(std::shared_ptr<State> state) : m_state(std::move(state)) {}
        std::shared_ptr<State> m_state;
    };
    Poster poster() const { return Poster(m_state); }
    void post(Job job) { poster().post(std::move(job)); }
    void postAfter(Clock::duration delay, Job job) { poster().postAfter(delay, std::move(job)); }
    // Makes every delayed job due now.
    void wake();
    // Blocks until no job runs and none is due (delayed jobs not yet due do not count).
    void waitUntilIdle();
    // The same until deadline; false when the queue is still busy then.
    bool waitUntilIdle(Clock::time_point deadline);
    // No job runs and none is queued, delayed or not.
    bool isIdle() const;

    // Drops the queued jobs and raises the cancel flag; never blocks.
    void requestQuit();
    // Requests the quit, then waits for the running job until deadline; a thread still
    // busy then is detached. True when the thread has ended.
    bool finish(Clock::time_point deadline);
    // Raised by the quit: a decoder given this flag gives up at its next chance.
    const std::atomic<bool>* cancelFlag() const;

private:
    static void run(const std::shared_ptr<State>& state);

    std::shared_ptr<State> m_state;
    std::thread m_thread;
};

// How a job that may be left behind at the end reaches its owner: the owner cuts the line
// first thing in its destructor, after which with() does nothing. The cut waits only for a
// with() that is running, never for a job's read of a file.
template <class T> class Lifeline {
public:
    explicit Lifeline(T* owner) : m_owner(owner) {}
    // Runs f on the owner while it lives; false once the line is cut.
    template <class F> bool with(F&& f) {
        const std::lock_guard lock(m_mutex);
        if (!m_owner)
            return false;
        f(*m_owner);
        return true;
    }
    void cut() {
        const std::lock_guard lock(m_mutex);
        m_owner = nullptr;
    }

private:
    std::mutex m_mutex;
    T* m_owner;
};
