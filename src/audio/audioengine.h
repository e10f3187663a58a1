#pragma once

#include "audio/cartpreparer.h"
#include "audio/outputdevice.h"
#include "audio/voicetransport.h"

#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QThreadPool>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class Cart;
class Leveller;

// The media engine behind the media controls: one output device kept open for the life of
// the engine, the cart cache (keyed by path), the measuring and preparation threads, and
// the transport of the plays (VoiceTransport) that the device renders.
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
class AudioEngine : public QObject {
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

    // The plays (VoiceTransport), each at its cart's levelling gain.
    VoiceHandle play(const std::shared_ptr<Cart>& cart) {
        return m_voices.play(cart, gainFor(cart));
    }
    void pause(VoiceHandle voice) { m_voices.pause(voice); }
    void resume(VoiceHandle voice) { m_voices.resume(voice); }
    VoiceHandle release(VoiceHandle voice) { return m_voices.release(voice); }
    bool arm(VoiceHandle voice, const std::shared_ptr<Cart>& cart) {
        return m_voices.arm(voice, cart, gainFor(cart));
    }
    void disarm(VoiceHandle voice) { m_voices.disarm(voice); }
    VoiceHandle handedOver(VoiceHandle voice) { return m_voices.handedOver(voice); }
    bool hasFollower(VoiceHandle voice) { return m_voices.hasFollower(voice); }
    bool isRunning(VoiceHandle voice) { return m_voices.isRunning(voice); }
    std::int64_t consumedFrames(VoiceHandle voice) { return m_voices.consumedFrames(voice); }
    std::int64_t heardFrames(VoiceHandle voice) { return m_voices.heardFrames(voice); }
    bool isHeardToEnd(VoiceHandle voice) { return m_voices.isHeardToEnd(voice); }
    std::shared_ptr<Cart> cartOf(VoiceHandle voice) { return m_voices.cartOf(voice); }
    VoiceTransport& voices() { return m_voices; }

    // Blocks until every measurement on the measuring threads is done and reports those
    // done so far now, as their queued calls would (tests, benchmarks).
    void waitForMeasurements();
    // Waits for the measurements, then until every queued preparation, check and full
    // decode is done (tests, benchmarks); the cartChanged signals these raise are queued.
    void waitForBackgroundWork();

    std::uint64_t underruns() const { return m_voices.underruns(); }
    std::uint64_t renderedFrames() const { return m_voices.renderedFrames(); }
    QString takeUnderrunReport() { return m_voices.takeUnderrunReport(); }

signals:
    void cartChanged(const QString& path);

private:
    struct CacheEntry {
        std::shared_ptr<Cart> cart;
        std::uint64_t lastUse = 0;
    };

    float gainFor(const std::shared_ptr<Cart>& cart) const;
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

    std::unique_ptr<OutputDevice> m_device;
    const int m_sampleRate;
    VoiceTransport m_voices;
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
};
