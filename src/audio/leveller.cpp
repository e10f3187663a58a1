#include "audio/leveller.h"

#include "audio/decoder.h"
#include "common/textfile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ebur128.h>
#include <memory>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

Loudness MeasureLoudness(const QString& path, const std::atomic<bool>* cancel) {
    // The file's own rate: no resampling, and the peak of its own samples.
    Loudness failed;
    failed.failed = true;
    const int rate = [&] {
        Decoder probe(48000);
        return probe.open(path, cancel) ? probe.sourceRate() : 0;
    }();
    if (rate <= 0)
        return failed;
    Decoder decoder(rate);
    if (!decoder.open(path, cancel))
        return failed;
    const std::unique_ptr<ebur128_state, void (*)(ebur128_state*)> state(
        ebur128_init(2, static_cast<unsigned long>(rate),
                     EBUR128_MODE_I | EBUR128_MODE_SAMPLE_PEAK),
        [](ebur128_state* s) { ebur128_destroy(&s); });
    if (!state)
        return {};
    constexpr int kChunk = 8192;
    std::vector<float> frames(kChunk * 2);
    for (int got; (got = decoder.read(frames.data(), kChunk)) > 0;) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return failed;
        if (ebur128_add_frames_float(state.get(), frames.data(), static_cast<size_t>(got)) !=
            EBUR128_SUCCESS)
            return {};
    }
    // A read that failed or a cancel stopped the decoder short of the end.
    if (decoder.fault() != 0 || (cancel && cancel->load(std::memory_order_relaxed)))
        return failed;
    Loudness result;
    double left = 0, right = 0;
    if (ebur128_loudness_global(state.get(), &result.integratedLufs) != EBUR128_SUCCESS ||
        ebur128_sample_peak(state.get(), 0, &left) != EBUR128_SUCCESS ||
        ebur128_sample_peak(state.get(), 1, &right) != EBUR128_SUCCESS)
        return {};
    result.samplePeak = std::max(left, right);
    // Silence (or nothing above the gate) has no loudness to level.
    result.ok = std::isfinite(result.integratedLufs) && result.samplePeak > 0;
    return result;
}

bool Loudness::usable() const {
    return ok && std::isfinite(integratedLufs) && integratedLufs >= -70.0 &&
           integratedLufs <= 0.0 && std::isfinite(samplePeak) && samplePeak > 0;
}

namespace {

// The gain in dB that levels a file of this loudness, below the peak ceiling.
double gainDbFrom(double targetLufs, const Loudness& loudness) {
    const double peakDb = 20.0 * std::log10(loudness.samplePeak);
    return std::min(targetLufs - loudness.integratedLufs, Leveller::kPeakCeilingDb - peakDb);
}

} // namespace

float Leveller::gainFrom(double targetLufs, const Loudness& loudness) {
    if (!loudness.usable())
        return 1.0f;
    const double gainDb = gainDbFrom(targetLufs, loudness);
    if (!(gainDb <= kMaxGainDb))
        return 1.0f;
    return static_cast<float>(std::pow(10.0, gainDb / 20.0));
}

Leveller::Leveller(double targetLufs, QString cacheFile)
    : m_target(targetLufs), m_cacheFile(std::move(cacheFile)) {
    // The compaction runs first on the thread, and counts as busy.
    m_busy = loadCache();
    m_thread = std::thread([this] { run(); });
}

Leveller::~Leveller() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
        m_cancel.store(true, std::memory_order_relaxed);
    }
    m_wake.notify_all();
    m_thread.join();
}

void Leveller::request(const Cart& cart) {
    {
        std::lock_guard lock(m_mutex);
        const auto known = m_known.constFind(cart.path());
        if (known != m_known.constEnd() && known->identity == cart.identity())
            return;
        const auto same = [&cart](const Job& job) {
            return job.path == cart.path() && job.identity == cart.identity();
        };
        if ((m_busy && same(m_current)) || std::any_of(m_jobs.begin(), m_jobs.end(), same))
            return;
        m_jobs.push_back({cart.path(), cart.identity()});
    }
    m_wake.notify_one();
}

float Leveller::gainFor(const Cart& cart) const {
    std::lock_guard lock(m_mutex);
    const auto known = m_known.constFind(cart.path());
    if (known == m_known.constEnd() || known->identity != cart.identity())
        return 1.0f;
    return gainFrom(m_target, known->loudness);
}

void Leveller::waitUntilIdle() {
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_jobs.empty() && !m_busy; });
}

void Leveller::run() {
    pthread_setname_np(pthread_self(), "airloom-level"); // seen by top and the benchmarks
    // Measuring can wait: the decoders that feed the output come first.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kNice);
    std::unique_lock lock(m_mutex);
    if (m_busy) {
        lock.unlock();
        compactCache();
        lock.lock();
        m_busy = false;
        if (m_jobs.empty())
            m_idle.notify_all();
    }
    for (;;) {
        m_wake.wait(lock, [this] { return m_quit || !m_jobs.empty(); });
        if (m_quit)
            return;
        m_current = m_jobs.front();
        m_jobs.pop_front();
        m_busy = true;
        const Job job = m_current;
        lock.unlock();
        const Loudness loudness = MeasureLoudness(job.path, &m_cancel);
        // A failed measure leaves nothing behind: the next request measures again.
        const bool measured = !loudness.failed && !m_cancel.load(std::memory_order_relaxed);
        m_measures.fetch_add(1, std::memory_order_relaxed);
        if (measured && loudness.usable())
            store(job, loudness);
        lock.lock();
        if (measured)
            m_known.insert(job.path, {job.identity, loudness});
        m_busy = false;
        if (m_jobs.empty())
            m_idle.notify_all();
    }
}

// One line per measure: size, modification time (ns), integrated loudness (LUFS) and
// sample peak, then the path, all separated by tabs, ended by a line feed. Older files
// hold "-" twice for a file that could not be measured: such lines are not used.
bool Leveller::loadCache() {
    QFile file;
    if (const QString why = textfile::OpenForReading(file, m_cacheFile); !why.isEmpty()) {
        if (QFileInfo::exists(m_cacheFile))
            std::fprintf(stderr, "airloom: loudness cache %s not read: %s\n",
                         qUtf8Printable(m_cacheFile), qUtf8Printable(why));
        return false;
    }
    const QByteArray bytes = file.readAll();
    qsizetype lines = 0;
    for (qsizetype pos = 0;;) {
        const qsizetype end = bytes.indexOf('\n', pos);
        if (end < 0)
            break; // the last line was cut: its figures are not trusted
        const QByteArrayView line(bytes.constData() + pos, end - pos);
        pos = end + 1;
        ++lines;
        qsizetype field[4] = {};
        qsizetype at = 0;
        for (int i = 0; i < 4 && at >= 0; ++i) {
            at = line.indexOf('\t', at);
            if (at >= 0)
                field[i] = at++;
        }
        if (at < 0)
            continue;
        bool sizeOk = false, timeOk = false, lufsOk = false, peakOk = false;
        Known known;
        known.identity = {line.first(field[0]).toLongLong(&sizeOk),
                          line.sliced(field[0] + 1, field[1] - field[0] - 1).toLongLong(&timeOk)};
        known.loudness.integratedLufs =
            line.sliced(field[1] + 1, field[2] - field[1] - 1).toDouble(&lufsOk);
        known.loudness.samplePeak =
            line.sliced(field[2] + 1, field[3] - field[2] - 1).toDouble(&peakOk);
        known.loudness.ok = lufsOk && peakOk;
        const QString path = QString::fromUtf8(line.sliced(field[3] + 1));
        // A line that cannot be used leaves the file to be measured again, even when an
        // older line of the same path could be.
        if (sizeOk && timeOk && known.loudness.usable() &&
            gainDbFrom(m_target, known.loudness) <= kMaxGainDb)
            m_known.insert(path, known);
        else
            m_known.remove(path);
    }
    // Compacted when more than half of it is stale, repeated or unusable (and more than a
    // few lines are).
    return lines > 2 * m_known.size() + kCompactSlack;
}

void Leveller::compactCache() {
    QByteArray text;
    {
        std::lock_guard lock(m_mutex);
        for (auto it = m_known.constBegin(); it != m_known.constEnd(); ++it)
            text += cacheLine(it.key(), it->identity, it->loudness);
    }
    QSaveFile save(m_cacheFile);
    QString why = save.open(QIODevice::WriteOnly) ? textfile::WriteAndSync(save.handle(), text)
                                                  : save.errorString();
    if (!why.isEmpty())
        save.cancelWriting();
    if (!save.commit() && why.isEmpty())
        why = save.errorString();
    if (!why.isEmpty())
        std::fprintf(stderr, "airloom: loudness cache %s not compacted: %s\n",
                     qUtf8Printable(m_cacheFile), qUtf8Printable(why));
}

QByteArray Leveller::cacheLine(const QString& path, const Cart::Identity& identity,
                               const Loudness& loudness) {
    return QStringLiteral("%1\t%2\t%3\t%4\t%5\n")
        .arg(identity.size)
        .arg(identity.modified)
        .arg(loudness.integratedLufs, 0, 'f', 6)
        .arg(loudness.samplePeak, 0, 'g', 9)
        .arg(path)
        .toUtf8();
}

void Leveller::store(const Job& job, const Loudness& loudness) {
    const QString why =
        textfile::AppendLines(m_cacheFile, {}, cacheLine(job.path, job.identity, loudness), "\n");
    // The figure still serves this run; only the next start measures the file again.
    if (!why.isEmpty() && !std::exchange(m_cacheFailed, true)) {
        std::fprintf(stderr, "airloom: loudness cache %s not written: %s\n",
                     qUtf8Printable(m_cacheFile), qUtf8Printable(why));
    }
}
