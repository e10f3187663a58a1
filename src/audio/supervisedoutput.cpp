#include "audio/supervisedoutput.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <utility>

namespace {

std::int64_t steadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

SupervisedOutput::SupervisedOutput(std::unique_ptr<OutputDevice> device,
                                   std::unique_ptr<OutputDevice> standIn, Opener reopen,
                                   QObject* parent)
    : QObject(parent), m_sampleRate((device ? *device : *standIn).sampleRate()),
      m_periodFrames((device ? *device : *standIn).periodFrames()), m_open(std::move(reopen)),
      m_device(std::move(device)), m_standIn(std::move(standIn)), m_now(&steadyNs) {
    m_watchdog.setInterval(kWatchdogInterval);
    connect(&m_watchdog, &QTimer::timeout, this, &SupervisedOutput::checkDevice);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &SupervisedOutput::reopen);
}

SupervisedOutput::SupervisedOutput(std::unique_ptr<OutputDevice> standIn, Opener open,
                                   const QString& awaitedWarning, QObject* parent)
    : SupervisedOutput(nullptr, std::move(standIn), std::move(open), parent) {
    m_warning = awaitedWarning;
}

SupervisedOutput::~SupervisedOutput() {
    stop();
    // An attempt not yet begun is dropped; the devices queued for closing are still closed.
    m_shared->quitting.store(true);
    for (;;) {
        if (m_worker.waitUntilIdle(WorkerQueue::Clock::now() + kExitWait)) {
            m_worker.finish(WorkerQueue::Clock::now() + kExitWait);
            return;
        }
        // A close that hangs (a device that went away mid-call) is left to the worker, which
        // then touches only m_shared: the program can still end. An attempt under way uses
        // this object and is waited for.
        if (m_shared->closing.load()) {
            std::fprintf(stderr, "Audio output: the lost output is still closing; not waiting.\n");
            m_worker.finish(WorkerQueue::Clock::now());
            return;
        }
    }
}

std::uint64_t SupervisedOutput::deviceUnderruns() const {
    return m_lostUnderruns + (m_device ? m_device->deviceUnderruns() : 0) +
           m_standIn->deviceUnderruns();
}

void SupervisedOutput::start(RenderSource& source) {
    if (m_state != State::Stopped)
        return;
    m_source = &source;
    if (!m_device) {
        // Lost before a stop, or not there yet: the stand-in plays until an attempt succeeds.
        m_state = State::Lost;
        m_chosen.store(kStandIn);
        m_standIn->start(m_standInGate);
        m_retry.start(m_retryMs);
        return;
    }
    m_state = State::Playing;
    m_chosen.store(kDevice);
    m_device->start(m_deviceGate);
    // A failed start is seen at the first tick, once the program listens.
    watch();
}

void SupervisedOutput::watch() {
    m_lastFrames = m_deviceGate.frames();
    m_stalledTicks = 0;
    m_devicePeriod = m_device->periodFrames();
    m_dropouts.restart(m_devicePeriod);
    m_watchdog.start();
}

void SupervisedOutput::stop() {
    if (m_state == State::Stopped)
        return;
    m_watchdog.stop();
    m_retry.stop();
    m_chosen.store(kNone);
    // A callback that took the engine before the line above gives it back within a render.
    while (m_rendering.load() != kNone)
        std::this_thread::yield();
    // A device whose stream failed may hang in its stop: the worker closes it.
    if (m_device && m_device->hasFailed())
        retire(std::move(m_device));
    if (m_device)
        m_device->stop();
    m_standIn->stop();
    m_state = State::Stopped;
}

void SupervisedOutput::checkDevice() {
    if (m_state != State::Playing)
        return;
    if (m_device->hasFailed()) {
        lose(QStringLiteral("its stream stopped"));
        return;
    }
    // A JACK server sets the period and may change it while it runs (PipeWire's quantum).
    if (m_device->periodFrames() != m_devicePeriod) {
        m_devicePeriod = m_device->periodFrames();
        std::fprintf(stderr,
                     "Audio output: the server's period is now %d frames, latency %.1f ms.\n",
                     m_devicePeriod, 1000.0 * m_device->latencyFrames() / m_sampleRate);
        m_dropouts.restart(m_devicePeriod);
    }
    const std::uint64_t frames = m_deviceGate.frames();
    if (frames != std::exchange(m_lastFrames, frames)) {
        m_stalledTicks = 0;
        std::int64_t calledNs = 0;
        std::uint64_t taken = 0;
        m_deviceGate.lastCallback(calledNs, taken);
        m_dropouts.sample(calledNs, taken);
        return;
    }
    if (++m_stalledTicks >= kStallTicks)
        lose(QStringLiteral("no frames played for %1 ms").arg(m_stalledTicks * kWatchdogInterval));
}

void SupervisedOutput::lose(const QString& reason) {
    m_watchdog.stop();
    m_state = State::Lost;
    m_chosen.store(kStandIn);
    m_standIn->start(m_standInGate);
    m_lostUnderruns += m_device->deviceUnderruns();
    retire(std::move(m_device));
    m_retryMs = kFirstRetryMs;
    m_lastError.clear();
    m_warning = QString::fromUtf8(kOutputLostWarning);
    m_toldClosing = false;
    m_retry.start(m_retryMs);
    std::fprintf(stderr, "%s (%s) Reopening it in %d s.\n", kOutputLostWarning, qPrintable(reason),
                 m_retryMs / 1000);
    emit lost(reason);
}

void SupervisedOutput::reopen() {
    if (m_state != State::Lost)
        return;
    // One attempt at a time: the next is timed once this one has ended.
    m_retry.stop();
    if (m_shared->closing.load() && !std::exchange(m_toldClosing, true))
        std::fprintf(stderr, "Audio output: the lost output has not closed yet; it is reopened "
                             "once it has.\n");
    m_worker.post([this, shared = m_shared] {
        shared->closeRetired();
        // Once the exit has begun this object may be gone (a close left behind ends here).
        if (!shared->quitting.load())
            attempt();
    });
}

void SupervisedOutput::tryAgainSoon() {
    if (m_state != State::Lost)
        return;
    if (!m_retry.isActive())
        m_soon = true;
    else if (m_retry.remainingTime() > kSoonMs)
        m_retry.start(kSoonMs);
}

void SupervisedOutput::takeReopened() {
    std::unique_ptr<OutputDevice> device;
    QString error;
    {
        const std::lock_guard lock(m_shared->mutex);
        device = std::move(m_shared->opened);
        error = m_shared->openError;
    }
    if (m_state != State::Lost) {
        retire(std::move(device));
        return;
    }
    if (!device) {
        // Each reason once, not every few seconds.
        if (error != std::exchange(m_lastError, error))
            std::fprintf(stderr, "Audio output: cannot reopen it yet (%s).\n", qPrintable(error));
        m_retryMs = std::min(2 * m_retryMs, kMaxRetryMs);
        m_retry.start(std::exchange(m_soon, false) ? kSoonMs : m_retryMs);
        return;
    }
    m_soon = false;
    m_device = std::move(device);
    m_chosen.store(kDevice);
    // Joins the stand-in's thread: from here on only the device calls the engine.
    m_standIn->stop();
    m_state = State::Playing;
    watch();
    std::fprintf(stderr, "Audio output back: carts are heard again.\n");
    emit restored();
}

void SupervisedOutput::retire(std::unique_ptr<OutputDevice> device) {
    if (!device)
        return;
    {
        const std::lock_guard lock(m_shared->mutex);
        m_shared->retired.push_back(std::move(device));
    }
    // The job holds the list, not the device: a job dropped at the exit closes nothing on
    // the UI thread.
    m_worker.post([shared = m_shared] { shared->closeRetired(); });
}

void SupervisedOutput::waitForWorker() {
    m_worker.waitUntilIdle();
}

void SupervisedOutput::Shared::closeRetired() {
    for (;;) {
        std::unique_ptr<OutputDevice> device;
        {
            const std::lock_guard lock(mutex);
            if (retired.empty())
                return;
            device = std::move(retired.front());
            retired.pop_front();
            closing.store(true);
        }
        device.reset();
        closing.store(false);
    }
}

void SupervisedOutput::attempt() {
    QString error;
    std::unique_ptr<OutputDevice> opened = openDevice(&error);
    {
        const std::lock_guard lock(m_shared->mutex);
        m_shared->opened = std::move(opened);
        m_shared->openError = error;
    }
    QMetaObject::invokeMethod(this, &SupervisedOutput::takeReopened, Qt::QueuedConnection);
}

std::unique_ptr<OutputDevice> SupervisedOutput::openDevice(QString* error) {
    std::unique_ptr<OutputDevice> device = m_open(error);
    if (!device)
        return nullptr;
    // The engine's rate is fixed for its life: another rate waits for a later attempt.
    if (device->sampleRate() != m_sampleRate) {
        *error = QStringLiteral("it opens at %1 Hz, not %2 Hz")
                     .arg(device->sampleRate())
                     .arg(m_sampleRate);
        return nullptr;
    }
    // Plays silence until the UI thread chooses it.
    device->start(m_deviceGate);
    if (device->hasFailed()) {
        *error = QStringLiteral("it does not start");
        return nullptr;
    }
    return device;
}

void SupervisedOutput::Gate::render(float* out, int frames) noexcept {
    const std::uint64_t taken =
        m_frames.fetch_add(static_cast<std::uint64_t>(frames), std::memory_order_relaxed) +
        static_cast<std::uint64_t>(frames);
    // The device's callbacks against the clock, for the watchdog's dropout count (one writer:
    // one device at a time renders through this gate).
    // Sequentially consistent: a reader that sees either of the pair's new values sees the
    // odd sequence number too (no fences, which ThreadSanitizer cannot follow).
    const std::uint32_t sequence = m_stampSequence.load();
    m_stampSequence.store(sequence + 1);
    m_stampNs.store(m_owner.m_now());
    m_stampFrames.store(taken);
    m_stampSequence.store(sequence + 2);
    int idle = kNone;
    // Sequentially consistent with stop() and the switches: once the UI thread has chosen
    // another device and seen m_rendering free, no callback of this one renders again.
    if (m_owner.m_chosen.load() == m_which &&
        m_owner.m_rendering.compare_exchange_strong(idle, m_which)) {
        const bool chosen = m_owner.m_chosen.load() == m_which;
        if (chosen)
            m_owner.m_source->render(out, frames);
        m_owner.m_rendering.store(kNone);
        if (chosen)
            return;
    }
    std::fill(out, out + static_cast<std::ptrdiff_t>(frames) * 2, 0.0f);
}

bool SupervisedOutput::Gate::isSilent() const noexcept {
    int idle = kNone;
    if (m_owner.m_chosen.load() != m_which ||
        !m_owner.m_rendering.compare_exchange_strong(idle, m_which))
        return false;
    const bool silent = m_owner.m_chosen.load() == m_which && m_owner.m_source->isSilent();
    m_owner.m_rendering.store(kNone);
    return silent;
}

void SupervisedOutput::Gate::waitUntilReady(int frames) {
    if (m_owner.m_chosen.load() == m_which)
        m_owner.m_source->waitUntilReady(frames);
}

void SupervisedOutput::Gate::lastCallback(std::int64_t& ns, std::uint64_t& frames) const {
    for (;;) {
        const std::uint32_t sequence = m_stampSequence.load();
        ns = m_stampNs.load();
        frames = m_stampFrames.load();
        if (sequence % 2 == 0 && m_stampSequence.load() == sequence)
            return;
    }
}
