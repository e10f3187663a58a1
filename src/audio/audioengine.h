#pragma once

#include "audio/cartpreparer.h"
#include "audio/mixer.h"
#include "audio/outputdevice.h"
#include "audio/streamworker.h"

#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QThreadPool>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class Cart;
class Leveller;
struct Voice;

// One play handed out by the engine. The engine looks a play up by the handle's number,
// which is never given twice: a handle whose play has been released refers to nothing,
// never to a later play, and every call on it does nothing.
class VoiceHandle {
public:
    VoiceHandle() = default;
    explicit operator bool() const { return m_id != 0; }
    friend bool operator==(VoiceHandle, VoiceHandle) = default;

private:
    friend class AudioEngine;
    explicit VoiceHandle(std::uint64_t id) : m_id(id) {}
    std::uint64_t m_id = 0;
};

// The media engine behind the media controls: one output device kept open for the life of
// the engine, the cart cache (keyed by path), the measuring, preparation and stream decoder
// threads, and the voices handed to the output callback.
//
// UI thread only, apart from the output callback it registers with the device. No call
// measures a file on the UI thread: openCart() of a cart that is not cached hands the file
// to a measuring thread; play() of a prepared cart hands frames already in memory to the
// callback.
//
// A cart whose file is deleted stays playable for as long as someone holds it (a deck);
// a cart whose file is replaced is measured again at its next open. cartChanged tells the
// UI thread (queued from the worker threads) that the cart at a path has been measured, or
// has a new length or a new file.
class AudioEngine : public QObject, private RenderSource {
    Q_OBJECT
public:
    // A prepared cart holds this much of its opening in memory; the rest streams.
    static constexpr int kHeadSeconds = 5;
    // Each playing stream buffers this much ahead of the callback.
    static constexpr int kRingSeconds = 2;
    // Carts kept prepared; the least recently opened beyond this are dropped.
    static constexpr int kCacheCapacity = 32;
    // Files measured at once: one on a slow network share does not hold up the others.
    static constexpr int kMeasuringThreads = 4;

    explicit AudioEngine(std::unique_ptr<OutputDevice> device);
    ~AudioEngine() override;
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;

    OutputDevice& device() { return *m_device; }
    // Loudness levelling: opened carts are measured, and each play takes its cart's gain.
    // Null (the default) plays every cart at unity. Not owned.
    void setLeveller(Leveller* leveller) { m_leveller = leveller; }
    int sampleRate() const { return m_sampleRate; }

    // The cart for path, without touching the disk beyond a stat: from the cache, else the
    // cart last measured for path while someone holds it (a deck) and its file is still the
    // one it holds (a deleted file's cart plays on until a new file takes its name). Any
    // other file is measured on a measuring thread, then cached and queued for preparation,
    // and cartChanged reports it; until then the held cart, or null when there is none.
    // A file that cannot be opened gives a cart that is not openable, with length 0; it is
    // cached too, and measured again once the file at path has changed.
    std::shared_ptr<Cart> openCart(const QString& path);

    // Runs each measuring job; by default on the engine's measuring threads. Tests hold
    // jobs and run them when they choose. A job reports its cart with a queued call.
    using MeasureRunner = std::function<void(std::function<void()> job)>;
    void setMeasureRunner(MeasureRunner runner) { m_runMeasure = std::move(runner); }

    // Starts a play of the cart from its beginning. Empty when there is nothing to play (an
    // unopenable or empty cart) or every voice slot is taken.
    VoiceHandle play(const std::shared_ptr<Cart>& cart);
    void pause(VoiceHandle voice);
    void resume(VoiceHandle voice);
    // Silences the voice within one period and lets go of it, and of a follower that has
    // not started. Returns the follower that has started, if any: a play of its own,
    // which the caller now holds.
    VoiceHandle release(VoiceHandle voice);

    // Arms a play of cart to start on the frame after the voice's last, in place of the
    // one armed before. False, with nothing armed, when the cart cannot play or the voice
    // has run out or handed over already.
    bool arm(VoiceHandle voice, const std::shared_ptr<Cart>& cart);
    // Takes back the follower armed on the voice, unless it has started.
    void disarm(VoiceHandle voice);
    // The follower that started after the voice's last frame; empty while none has.
    VoiceHandle handedOver(VoiceHandle voice) const;
    // Whether a follower is armed on the voice or has already taken over from it.
    bool hasFollower(VoiceHandle voice) const;

    // Not paused, stopped or released.
    bool isRunning(VoiceHandle voice) const;
    // The frames of the cart the output has consumed.
    std::int64_t consumedFrames(VoiceHandle voice) const;
    // What has been heard of the voice: the frames consumed by the output less those still
    // in the device's latency.
    std::int64_t heardFrames(VoiceHandle voice) const;
    // The voice has rendered its last frame and that frame has been heard (or it is gone).
    bool isHeardToEnd(VoiceHandle voice) const;
    std::shared_ptr<Cart> cartOf(VoiceHandle voice) const;

    // Blocks until every measurement on the measuring threads is done and reports those
    // done so far now, as their queued calls would (tests, benchmarks).
    void waitForMeasurements();
    // Waits for the measurements, then until every queued preparation, check and full
    // decode is done (tests, benchmarks); the cartChanged signals these raise are queued.
    void waitForBackgroundWork();

    std::uint64_t underruns() const { return m_mixer.underruns(); }
    std::uint64_t renderedFrames() const { return m_mixer.renderedFrames(); }

    // Once a second the engine prints on stderr the underruns counted since the last line
    // (a playing cart whose decoding fell behind, a period the device played late), so
    // drop-outs on air leave a trace on the terminal. The line, or "" when there were none.
    static constexpr int kUnderrunReportInterval = 1000;
    QString takeUnderrunReport();

signals:
    void cartChanged(const QString& path);

private:
    struct CacheEntry {
        std::shared_ptr<Cart> cart;
        std::uint64_t lastUse = 0;
    };

    void render(float* out, int frames) noexcept override;
    void waitUntilReady(int frames) override;
    bool isSilent() const noexcept override { return m_mixer.isSilent(); }
    // Deletes the voices the callback has let go of.
    void reap();
    // A voice for a play of cart from its beginning, not yet handed to the callback; null
    // when the cart cannot play.
    std::unique_ptr<Voice> makeVoice(const std::shared_ptr<Cart>& cart);
    Voice* find(VoiceHandle handle) const;
    void erase(const Voice* voice);
    void remember(const std::shared_ptr<Cart>& cart);
    void forget(const QString& path);
    // Drops a cart whose file changed from the cache.
    void retire(const std::shared_ptr<Cart>& cart);
    // Whether the file at the cart's path is still the one it was measured from, as far as
    // the UI thread may look without reading it.
    static bool stillCurrent(const Cart& cart);
    void startMeasuring(const QString& path);
    // UI thread: caches the carts the measuring jobs have finished and reports them.
    void takeMeasured();
    // UI thread: a worker changed the cart's length or found its file changed.
    void onCartChanged(const std::shared_ptr<Cart>& cart);
    std::uint64_t framesSince(std::uint64_t frame) const;

    std::unique_ptr<OutputDevice> m_device;
    const int m_sampleRate;
    const std::size_t m_ringFrames;
    Mixer m_mixer;
    StreamWorker m_streams;
    QHash<QString, CacheEntry> m_cache;
    // The cart last measured for each path, alive while someone holds it: a cart evicted
    // from the cache, deleted from disk or not openable is found here without measuring.
    QHash<QString, std::weak_ptr<Cart>> m_measured;
    // Paths handed to a measuring job and not yet reported.
    QSet<QString> m_measuring;
    std::mutex m_finishedMutex;
    std::vector<std::shared_ptr<Cart>> m_finished; // measured, not yet taken by the UI thread
    std::atomic<bool> m_stopMeasuring{false};      // cuts the scans short at the end
    QThreadPool m_measurePool;
    MeasureRunner m_runMeasure;
    // Checks a cached cart as soon as its file changes; the check at each open catches
    // what the watcher cannot see (network folders).
    QFileSystemWatcher m_watcher;
    // Declared last: its thread stops first, before what its reports touch.
    CartPreparer m_preparer;
    std::uint64_t m_useClock = 0;
    Leveller* m_leveller = nullptr;
    std::vector<std::unique_ptr<Voice>> m_voices; // every voice not yet deleted
    std::uint64_t m_lastVoiceId = 0;
    QTimer m_underrunTimer;
    std::uint64_t m_reportedUnderruns = 0;
    std::uint64_t m_reportedDeviceUnderruns = 0;
};
