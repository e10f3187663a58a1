#pragma once

#include "audio/cart.h"
#include "audio/workerqueue.h"

#include <QHash>
#include <QString>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

// A file's EBU R128 integrated loudness and sample peak, measured by libebur128 over the
// frames the decoder gives (what is heard: mono on both channels, more than two mixed down)
// at the file's own rate. ok is false for a file that cannot be decoded and for silence.
struct Loudness {
    bool ok = false;
    double integratedLufs = 0;
    double samplePeak = 0; // linear, 1.0 = full scale
};
// Decodes the whole file; blocks on the disk. A cancel flag makes it give up.
Loudness MeasureLoudness(const QString& path, const std::atomic<bool>* cancel = nullptr);

// Loudness levelling: the fixed gain each cart plays at so that its integrated loudness
// meets the target, limited so that its sample peak stays at or under -1 dBFS. Carts are
// measured on a thread of their own after they are opened, once per file: the figures are
// kept by path, size and modification time in a cache file (one line per measure, the last
// line of a path wins), so a file is measured again only when it changes.
//
// request() and gainFor() are for the UI thread and never wait for a measure; gainFor()
// gives 1 (unity) for a cart not measured yet, being measured, or not measurable.
class Leveller {
public:
    static constexpr double kPeakCeilingDb = -1.0;
    // The measuring thread's nice value: it yields to the threads that feed the output.
    static constexpr int kNice = 10;

    // cacheFile: read now, appended to by the measuring thread (its folder is created).
    Leveller(double targetLufs, QString cacheFile);
    ~Leveller();
    Leveller(const Leveller&) = delete;
    Leveller& operator=(const Leveller&) = delete;

    // Queues a measure of the cart's file unless it is known for this identity or queued.
    void request(const Cart& cart);
    float gainFor(const Cart& cart) const;

    // The gain for a file of this loudness; 1 when it could not be measured.
    static float gainFrom(double targetLufs, const Loudness& loudness);

    // Blocks until every queued measure is done (tests, benchmarks).
    void waitUntilIdle() { m_queue.waitUntilIdle(); }
    // Measures made since the start (tests: a cache hit makes none).
    int measureCount() const { return m_measures.load(std::memory_order_relaxed); }

private:
    struct Known {
        Cart::Identity identity;
        Loudness loudness;
    };
    struct Job {
        QString path;
        Cart::Identity identity;
    };
    void loadCache();
    // Measuring thread, while the leveller lives: keeps and stores a finished measure.
    void finishMeasure(const Job& job, const Loudness& loudness);
    void store(const Job& job, const Loudness& loudness);

    const double m_target;
    const QString m_cacheFile;
    mutable std::mutex m_mutex;
    QHash<QString, Known> m_known; // guarded
    std::vector<Job> m_pending;    // guarded: queued or being measured
    bool m_cacheFailed = false;    // measuring thread only
    std::atomic<int> m_measures{0};
    // A measure held in a read at the end is left behind; it reaches the leveller only
    // through this, while it lives.
    const std::shared_ptr<Lifeline<Leveller>> m_lifeline;
    WorkerQueue m_queue;
};
