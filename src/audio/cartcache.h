#pragma once

#include "audio/cartpreparer.h"
#include "audio/filewatch.h"
#include "audio/workerqueue.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class Cart;
class FileSource;
class Leveller;

// The carts the engine knows, by path: measured on measuring threads, prepared (their
// opening decoded into memory) and checked against their files on the preparation thread,
// watched for changes. A fault (a failed open or read: too many open files, a share gone
// for a moment) is never kept as the cart's length: the file is measured again after a
// back-off and at its next open, and a failed preparation is tried again the same way.
//
// UI thread only; the workers report by queued calls. No call opens, reads or stats a
// file on the UI thread: a share that stops answering holds a measuring thread, never it.
class CartCache : public QObject {
    Q_OBJECT
public:
    // Carts kept prepared; the least recently opened beyond this are dropped.
    static constexpr int kCacheCapacity = 32;
    // Files measured at once. Each measuring thread takes one file at a time, so a file on
    // a share that stops answering holds only its own thread.
    static constexpr int kMeasuringThreads = 4;
    // The first new measurement after a fault; each further one waits twice as long.
    static constexpr auto kMeasureRetryDelay = std::chrono::milliseconds(1000);
    static constexpr int kMeasureRetries = 4;

    CartCache(int outputRate, int headFrames, std::shared_ptr<FileSource> files);
    ~CartCache() override;
    CartCache(const CartCache&) = delete;
    CartCache& operator=(const CartCache&) = delete;

    // Opened carts are also queued for a loudness measure. Not owned; null: none.
    void setLeveller(Leveller* leveller) { m_leveller = leveller; }

    // The cart for path, without touching the disk: from the cache, else the cart last
    // measured for path while someone holds it (a deck), unless its file is known to have
    // been replaced (a deleted file's cart plays on until a new file takes its name). Each
    // open has a measuring thread check the file against the cart; a change found is
    // reported with cartChanged, and the next open has the new file measured. Any other
    // path is measured on a measuring thread, then cached and queued for preparation, and
    // cartChanged reports it; until then the held cart, or null when there is none.
    // A file that is not a sound file gives a cart that is not openable, with length 0; it
    // is cached too, and measured again once the file at path has changed.
    std::shared_ptr<Cart> openCart(const QString& path);

    // Runs each measuring job; by default on the measuring threads. Tests hold jobs and
    // run them when they choose. A job reports its cart with a queued call.
    using MeasureRunner = std::function<void(std::function<void()> job)>;
    void setMeasureRunner(MeasureRunner runner) { m_runMeasure = std::move(runner); }

    // Blocks until every measurement on the measuring threads is done and reports those
    // done so far now, as their queued calls would (tests, benchmarks).
    void waitForMeasurements();
    // Waits for the measurements, then until every preparation, check and full decode due
    // is done (tests, benchmarks); the cartChanged signals these raise are queued.
    void waitForBackgroundWork();

    // Stops the workers, waiting for them until deadline; one held in a read of a file
    // that stopped answering is left behind.
    void finish(WorkerQueue::Clock::time_point deadline);

signals:
    void cartChanged(const QString& path);

private:
    struct CacheEntry {
        std::shared_ptr<Cart> cart;
        std::uint64_t lastUse = 0;
    };

    void remember(const std::shared_ptr<Cart>& cart);
    void forget(const QString& path);
    // Drops a cart whose file changed from the cache.
    void retire(const std::shared_ptr<Cart>& cart);
    // Has a measuring thread compare the file at the cart's path with the cart (one check
    // per path at a time); a change is reported with cartChanged.
    void check(const std::shared_ptr<Cart>& cart);
    void startMeasuring(const QString& path);
    // Runs job on a measuring thread, after those waiting for one.
    void runInBackground(std::function<void()> job);
    // Hands waiting measuring jobs to measuring threads that have none.
    void dispatchMeasuring();
    // Caches the carts the measuring jobs have finished and reports them and the changes
    // the checks found.
    void takeMeasured();
    // A worker changed the cart's length or found its file changed.
    void onCartChanged(const std::shared_ptr<Cart>& cart);

    const std::shared_ptr<FileSource> m_files;
    // Jobs left behind at the end reach the cache through this while it lives.
    const std::shared_ptr<Lifeline<CartCache>> m_lifeline;
    QHash<QString, CacheEntry> m_cache;
    // The cart last measured for each path, alive while someone holds it: a cart evicted
    // from the cache, deleted from disk or not openable is found here without measuring.
    QHash<QString, std::weak_ptr<Cart>> m_measured;
    // Paths handed to a measuring job, or a check, and not yet reported.
    QSet<QString> m_measuring;
    QSet<QString> m_checking;
    // Faults met so far by the measurements of each path that has not measured since.
    QHash<QString, int> m_faults;
    std::mutex m_finishedMutex;
    std::vector<std::shared_ptr<Cart>> m_finished; // measured, not yet taken by the UI thread
    struct Checked {
        QString path;
        std::weak_ptr<Cart> changed; // set when the check changed the cart's file state
    };
    std::vector<Checked> m_checked; // likewise
    // Cuts the scans short at the end; shared with jobs that may outlive the cache.
    const std::shared_ptr<std::atomic<bool>> m_stopMeasuring;
    std::vector<std::unique_ptr<WorkerQueue>> m_measurers;
    std::deque<std::function<void()>> m_waitingJobs; // for a measuring thread that is free
    MeasureRunner m_runMeasure;
    // Checks a cached cart as soon as its file changes; the check at each open catches
    // what the watch cannot see (network folders).
    FileWatch m_fileWatch;
    CartPreparer m_preparer;
    std::uint64_t m_useClock = 0;
    Leveller* m_leveller = nullptr;
};
