#pragma once

#include "audio/cart.h"
#include "audio/workerqueue.h"

#include <QHash>
#include <QString>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

// A file's EBU R128 integrated loudness and sample peak, measured by libebur128 over the
// frames the decoder gives (what is heard: mono on both channels, more than two mixed down)
// at the file's own rate. ok is false for a file that cannot be decoded and for silence;
// failed tells a measure that could not read the file (an open or read error, a cancel),
// which is worth another try, from one that read it to its end.
struct Loudness {
    bool ok = false;
    bool failed = false;
    double integratedLufs = 0;
    double samplePeak = 0; // linear, 1.0 = full scale

    // Figures that can be levelled by: finite, the loudness from -70 to 0 LUFS, a peak.
    bool usable() const;
};
// Decodes the whole file; blocks on the disk. A cancel flag makes it give up.
Loudness MeasureLoudness(const QString& path, const std::atomic<bool>* cancel = nullptr);

// Loudness levelling: the fixed gain each cart plays at so that its integrated loudness
// meets the target, limited so that its sample peak stays at or under -1 dBFS. Carts are
// measured on a thread of their own after they are opened, once per file: the figures are
// kept by path, size and modification time in a cache file (one line per measure, the last
// line of a path wins), so a file is measured again only when it changes. A measure that
// failed is not kept, nor written: the next request tries again. Figures of the cache that
// are not usable, or that would raise a cart by more than kMaxGainDb (a damaged or edited
// line), are not used and the cart is measured again. A cache that holds more stale lines
// than current ones is written anew, compacted, by the measuring thread at its start.
//
// request() and gainFor() are for the UI thread and never wait for a measure; gainFor()
// gives 1 (unity) for a cart not measured yet, being measured, or not measurable, and for
// one that would need more than kMaxGainDb. The end waits kEndWait at most for a measure
// under way: one held in a read of a share that stopped answering is left behind, holding
// the figures it reports to.
class Leveller {
public:
    static constexpr double kPeakCeilingDb = -1.0;
    static constexpr double kMaxGainDb = 20.0;
    // The measuring thread's nice value: it yields to the threads that feed the output.
    static constexpr int kNice = 10;
    // Stale lines a cache may hold beyond its current ones before it is compacted.
    static constexpr qsizetype kCompactSlack = 1000;
    static constexpr auto kEndWait = std::chrono::milliseconds(500);

    // cacheFile: read now, appended to by the measuring thread (its folder is created).
    Leveller(double targetLufs, QString cacheFile);
    ~Leveller();
    Leveller(const Leveller&) = delete;
    Leveller& operator=(const Leveller&) = delete;

    // Queues a measure of the cart's file unless it is known for this identity or queued.
    void request(const Cart& cart);
    float gainFor(const Cart& cart) const;

    // The gain for a file of this loudness; 1 when it could not be measured or would need
    // more than kMaxGainDb.
    static float gainFrom(double targetLufs, const Loudness& loudness);

    // Blocks until every queued measure is done (tests, benchmarks).
    void waitUntilIdle();
    // Measures made since the start (tests: a cache hit makes none).
    int measureCount() const { return m_figures->measures.load(std::memory_order_relaxed); }

private:
    struct Known {
        Cart::Identity identity;
        Loudness loudness;
    };
    // What the measuring jobs report to: shared with them, so a job left behind at the end
    // touches nothing freed.
    struct Figures {
        Figures(double target, QString cacheFile)
            : target(target), cacheFile(std::move(cacheFile)) {}
        const double target;
        const QString cacheFile;
        mutable std::mutex mutex;
        QHash<QString, Known> known;                             // guarded
        std::vector<std::pair<QString, Cart::Identity>> pending; // guarded: queued or running
        bool cacheFailed = false;                                // measuring thread only
        std::atomic<int> measures{0};

        // UI thread, at the construction: reads the cache; true when it wants compacting.
        bool loadCache();
        // Measuring thread: writes the cache anew with the figures known.
        void compactCache();
        // Measuring thread.
        void measure(const QString& path, const Cart::Identity& identity,
                     const std::atomic<bool>* cancel);
        void store(const QString& path, const Cart::Identity& identity, const Loudness& loudness);
    };
    static QByteArray cacheLine(const QString& path, const Cart::Identity& identity,
                                const Loudness& loudness);

    std::shared_ptr<Figures> m_figures;
    WorkerQueue m_queue;
};
