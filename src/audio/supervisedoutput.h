#pragma once

#include "audio/dropoutcounter.h"
#include "audio/outputdevice.h"
#include "audio/workerqueue.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

// What the operator is told, on stderr and on the status line until sound is back.
inline constexpr char kOutputLostWarning[] =
    "Audio output lost: carts will not be heard until it returns.";

// The program's output when a sound device was opened, or named by the station: that device,
// watched, with a silent stand-in (the clock-paced null output) that plays in its place while
// it is lost or not there yet, so carts still play, end and are timed.
//
// The device is lost when it says its stream stopped (a failed start, an unplugged
// interface, a server gone) or when it has not called back for kStallTicks ticks of the
// watchdog. The output then switches to the stand-in, tells `lost` and reopens the device on
// a worker thread: kFirstRetryMs after the loss, then at doubling intervals up to
// kMaxRetryMs, until the opener gives a device at the same sample rate that starts. It then
// switches back and tells `restored`. A device named by the station that is missing at
// start-up is awaited in the same way, the output being lost from its start (no `lost`:
// isLost() and warning() say it).
//
// UI thread, apart from the devices' callbacks and the worker (a WorkerQueue), which closes
// lost devices and opens and starts new ones (PortAudio's initialisation takes a while, and
// the close of a device that went away may hang). The UI thread touches a real device only
// while it plays. Only one device at a time calls the engine's render. The back-off is the
// UI thread's timer, so the attempts follow the event loop. The exit waits kExitWait at most
// for a close.
class SupervisedOutput : public QObject, public OutputDevice {
    Q_OBJECT
public:
    // Opens the device again, or gives null and the reason. Runs on the worker thread.
    using Opener = std::function<std::unique_ptr<OutputDevice>(QString* error)>;

    static constexpr int kWatchdogInterval = 250; // ms
    // Ticks without a frame rendered that make a device lost: within a second of its last.
    static constexpr int kStallTicks = 2;
    static constexpr int kFirstRetryMs = 2000;
    static constexpr int kMaxRetryMs = 10000;

    SupervisedOutput(std::unique_ptr<OutputDevice> device, std::unique_ptr<OutputDevice> standIn,
                     Opener reopen, QObject* parent = nullptr);
    // Awaits a device that is not there yet: the stand-in plays from the start (at its own
    // rate and period), and warning() is awaitedWarning until the device has been opened.
    SupervisedOutput(std::unique_ptr<OutputDevice> standIn, Opener open,
                     const QString& awaitedWarning, QObject* parent = nullptr);
    ~SupervisedOutput() override;

    int sampleRate() const override { return m_sampleRate; }
    int periodFrames() const override { return m_periodFrames; }
    int latencyFrames() const override { return current().latencyFrames(); }
    // Every device's, the lost ones' included, so the count only grows.
    std::uint64_t deviceUnderruns() const override;
    double callbackLoad() const override { return current().callbackLoad(); }
    // The device's, measured on each watchdog tick while it plays (DropoutCounter).
    std::optional<Dropouts> dropouts() const override {
        return Dropouts{m_dropouts.dropouts(), m_dropouts.missingFrames()};
    }
    void start(RenderSource& source) override;
    void stop() override;
    void wake() override { current().wake(); }

    // Carts are not heard: the stand-in plays while the device is reopened.
    bool isLost() const { return m_state == State::Lost; }
    // What the operator is told while it is lost: kOutputLostWarning, or the awaited device's
    // warning until it has been opened once.
    const QString& warning() const { return m_warning; }

    // The watchdog's tick (every kWatchdogInterval while the device plays): is it still
    // calling back and its stream running?
    void checkDevice();
    // Has the worker try to open the device again (the retry timer's shot).
    void reopen();
    // A device may have appeared (a card plugged in, a JACK server started): while lost, the
    // next attempt comes kSoonMs from now, or from the end of the one under way, instead of at
    // the end of its back-off.
    void tryAgainSoon();
    static constexpr int kSoonMs = 1000;
    QTimer& watchdog() { return m_watchdog; }
    QTimer& retryTimer() { return m_retry; }
    // Blocks until the worker is idle (tests); what it opened arrives in a queued call.
    void waitForWorker();
    // The monotonic clock the callbacks are timed by, in nanoseconds (tests give their own).
    using Clock = std::int64_t (*)();
    void setClock(Clock now) { m_now = now; }

signals:
    void lost(const QString& reason);
    void restored();

private:
    enum class State { Stopped, Playing, Lost };
    enum Which : int { kNone, kDevice, kStandIn };

    // What each device calls: the engine's render while its device is the chosen one, else
    // silence. Counts the frames it is asked for, which the watchdog reads.
    class Gate : public RenderSource {
    public:
        Gate(SupervisedOutput& owner, Which which) : m_owner(owner), m_which(which) {}
        void render(float* out, int frames) noexcept override;
        void waitUntilReady(int frames) override;
        // Asked of the engine only by the chosen device, and not while another one renders.
        bool isSilent() const noexcept override;
        std::uint64_t frames() const { return m_frames.load(std::memory_order_relaxed); }
        // The time of the last callback and the frames taken by its end (0, 0 before the
        // first), read consistently with the callback's writes.
        void lastCallback(std::int64_t& ns, std::uint64_t& frames) const;

    private:
        SupervisedOutput& m_owner;
        const Which m_which;
        std::atomic<std::uint64_t> m_frames{0};
        // A sequence lock the callback never waits on: odd while it writes the pair.
        std::atomic<std::uint32_t> m_stampSequence{0};
        std::atomic<std::int64_t> m_stampNs{0};
        std::atomic<std::uint64_t> m_stampFrames{0};
    };

    // The device that renders, which the calls on the output that are meant for the
    // rendering device go to (the latency, and any wake-up).
    OutputDevice& current() const { return m_device ? *m_device : *m_standIn; }
    void lose(const QString& reason);
    // The device plays: the watchdog ticks, and the dropouts are counted from here.
    void watch();
    // UI thread: the worker's attempt has ended.
    void takeReopened();
    // Opens, checks and starts a device (worker).
    std::unique_ptr<OutputDevice> openDevice(QString* error);
    // Hands a device to the worker to stop and close.
    void retire(std::unique_ptr<OutputDevice> device);

    const int m_sampleRate;
    const int m_periodFrames;
    const Opener m_open;
    RenderSource* m_source = nullptr;
    Gate m_deviceGate{*this, kDevice};
    Gate m_standInGate{*this, kStandIn};
    // The device whose callback renders the engine. A callback takes m_rendering (kNone to
    // its own) before it renders and gives it back after: at a switch the newly chosen
    // device plays silence for the periods in which the other is still inside render.
    std::atomic<int> m_chosen{kNone};
    std::atomic<int> m_rendering{kNone};

    std::unique_ptr<OutputDevice> m_device; // null while lost
    std::unique_ptr<OutputDevice> m_standIn;
    State m_state = State::Stopped;
    std::uint64_t m_lastFrames = 0;
    int m_stalledTicks = 0;
    int m_devicePeriod = 0; // the playing device's, as last told
    Clock m_now;
    DropoutCounter m_dropouts{m_sampleRate, m_periodFrames};
    std::uint64_t m_lostUnderruns = 0;
    int m_retryMs = kFirstRetryMs;
    bool m_soon = false; // tryAgainSoon() during an attempt
    QString m_lastError;
    QString m_warning = QString::fromUtf8(kOutputLostWarning);
    QTimer m_watchdog;
    QTimer m_retry;

    // What the worker's jobs share with this object. The exit leaves a job behind when a
    // close hangs: it then touches only this.
    struct Shared {
        std::mutex mutex;
        std::deque<std::unique_ptr<OutputDevice>> retired; // lost devices, to be closed
        std::unique_ptr<OutputDevice> opened; // the last attempt's device, null when it failed
        QString openError;
        std::atomic<bool> closing{false};  // a lost device is being closed
        std::atomic<bool> quitting{false}; // the exit: no more attempts
        // Worker thread: stops and closes the retired devices, which may take long (or hang)
        // when a device is gone.
        void closeRetired();
    };
    // How long the exit waits for a lost device to close.
    static constexpr auto kExitWait = std::chrono::seconds(2);
    // Worker thread, once the lost devices are closed: opens one; the result comes back in a
    // queued call of takeReopened.
    void attempt();

    const std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();
    bool m_toldClosing = false;
    // Closes lost devices and makes the attempts, one after the other, so a device is closed
    // (and PortAudio terminated) before the next attempt begins. Last: its thread starts once
    // the rest is there.
    WorkerQueue m_worker{"airloom-output"};
};
