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
    : m_figures(std::make_shared<Figures>(targetLufs, std::move(cacheFile))),
      m_queue("airloom-level", kNice) {
    // The compaction runs first on the thread.
    if (m_figures->loadCache())
        m_queue.post([figures = m_figures] { figures->compactCache(); });
}

Leveller::~Leveller() {
    m_queue.finish(WorkerQueue::Clock::now() + kEndWait);
}

void Leveller::request(const Cart& cart) {
    Figures& figures = *m_figures;
    const std::pair<QString, Cart::Identity> file{cart.path(), cart.identity()};
    {
        const std::lock_guard lock(figures.mutex);
        const auto known = figures.known.constFind(file.first);
        if (known != figures.known.constEnd() && known->identity == file.second)
            return;
        if (std::find(figures.pending.begin(), figures.pending.end(), file) !=
            figures.pending.end())
            return;
        figures.pending.push_back(file);
    }
    m_queue.post([figures = m_figures, file, cancel = m_queue.cancelFlag()] {
        figures->measure(file.first, file.second, cancel);
    });
}

float Leveller::gainFor(const Cart& cart) const {
    const std::lock_guard lock(m_figures->mutex);
    const auto known = m_figures->known.constFind(cart.path());
    if (known == m_figures->known.constEnd() || known->identity != cart.identity())
        return 1.0f;
    return gainFrom(m_figures->target, known->loudness);
}

void Leveller::waitUntilIdle() {
    m_queue.waitUntilIdle();
}

void Leveller::Figures::measure(const QString& path, const Cart::Identity& identity,
                                const std::atomic<bool>* cancel) {
    const Loudness loudness = MeasureLoudness(path, cancel);
    // A failed measure leaves nothing behind: the next request measures again.
    const bool measured = !loudness.failed && !cancel->load(std::memory_order_relaxed);
    measures.fetch_add(1, std::memory_order_relaxed);
    if (measured && loudness.usable())
        store(path, identity, loudness);
    const std::lock_guard lock(mutex);
    if (measured)
        known.insert(path, {identity, loudness});
    pending.erase(std::find(pending.begin(), pending.end(), std::pair{path, identity}));
}

// One line per measure: size, modification time (ns), integrated loudness (LUFS) and
// sample peak, then the path, all separated by tabs, ended by a line feed. Older files
// hold "-" twice for a file that could not be measured: such lines are not used.
bool Leveller::Figures::loadCache() {
    QFile file;
    if (const QString why = textfile::OpenForReading(file, cacheFile); !why.isEmpty()) {
        if (QFileInfo::exists(cacheFile))
            std::fprintf(stderr, "airloom: loudness cache %s not read: %s\n",
                         qUtf8Printable(cacheFile), qUtf8Printable(why));
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
        Known entry;
        entry.identity = {line.first(field[0]).toLongLong(&sizeOk),
                          line.sliced(field[0] + 1, field[1] - field[0] - 1).toLongLong(&timeOk)};
        entry.loudness.integratedLufs =
            line.sliced(field[1] + 1, field[2] - field[1] - 1).toDouble(&lufsOk);
        entry.loudness.samplePeak =
            line.sliced(field[2] + 1, field[3] - field[2] - 1).toDouble(&peakOk);
        entry.loudness.ok = lufsOk && peakOk;
        const QString path = QString::fromUtf8(line.sliced(field[3] + 1));
        // A line that cannot be used leaves the file to be measured again, even when an
        // older line of the same path could be.
        if (sizeOk && timeOk && entry.loudness.usable() &&
            gainDbFrom(target, entry.loudness) <= kMaxGainDb)
            known.insert(path, entry);
        else
            known.remove(path);
    }
    // Compacted when more than half of it is stale, repeated or unusable (and more than a
    // few lines are).
    return lines > 2 * known.size() + kCompactSlack;
}

void Leveller::Figures::compactCache() {
    QByteArray text;
    {
        const std::lock_guard lock(mutex);
        for (auto it = known.constBegin(); it != known.constEnd(); ++it)
            text += cacheLine(it.key(), it->identity, it->loudness);
    }
    QSaveFile save(cacheFile);
    QString why = save.open(QIODevice::WriteOnly) ? textfile::WriteAndSync(save.handle(), text)
                                                  : save.errorString();
    if (!why.isEmpty())
        save.cancelWriting();
    if (!save.commit() && why.isEmpty())
        why = save.errorString();
    if (!why.isEmpty())
        std::fprintf(stderr, "airloom: loudness cache %s not compacted: %s\n",
                     qUtf8Printable(cacheFile), qUtf8Printable(why));
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

void Leveller::Figures::store(const QString& path, const Cart::Identity& identity,
                              const Loudness& loudness) {
    const QString why =
        textfile::AppendLines(cacheFile, {}, cacheLine(path, identity, loudness), "\n");
    // The figure still serves this run; only the next start measures the file again.
    if (!why.isEmpty() && !std::exchange(cacheFailed, true)) {
        std::fprintf(stderr, "airloom: loudness cache %s not written: %s\n",
                     qUtf8Printable(cacheFile), qUtf8Printable(why));
    }
}
