#include "audio/leveller.h"

#include "audio/decoder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ebur128.h>
#include <memory>
#include <vector>

Loudness MeasureLoudness(const QString& path, const std::atomic<bool>* cancel) {
    // The file's own rate: no resampling, and the peak of its own samples.
    const int rate = [&] {
        Decoder probe(48000);
        return probe.open(path, cancel) ? probe.sourceRate() : 0;
    }();
    if (rate <= 0)
        return {};
    Decoder decoder(rate);
    if (!decoder.open(path, cancel))
        return {};
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
            return {};
        if (ebur128_add_frames_float(state.get(), frames.data(), static_cast<size_t>(got)) !=
            EBUR128_SUCCESS)
            return {};
    }
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

float Leveller::gainFrom(double targetLufs, const Loudness& loudness) {
    if (!loudness.ok)
        return 1.0f;
    const double peakDb = 20.0 * std::log10(loudness.samplePeak);
    const double gainDb = std::min(targetLufs - loudness.integratedLufs, kPeakCeilingDb - peakDb);
    return static_cast<float>(std::pow(10.0, gainDb / 20.0));
}

Leveller::Leveller(double targetLufs, QString cacheFile)
    : m_target(targetLufs), m_cacheFile(std::move(cacheFile)),
      m_lifeline(std::make_shared<Lifeline<Leveller>>(this)),
      // Measuring can wait: the decoders that feed the output come first.
      m_queue("airloom-level", kNice) {
    loadCache();
}

Leveller::~Leveller() {
    m_lifeline->cut();
}

void Leveller::request(const Cart& cart) {
    Job job{cart.path(), cart.identity()};
    {
        std::lock_guard lock(m_mutex);
        const auto known = m_known.constFind(cart.path());
        if (known != m_known.constEnd() && known->identity == cart.identity())
            return;
        const auto same = [&job](const Job& other) {
            return other.path == job.path && other.identity == job.identity;
        };
        if (std::any_of(m_pending.begin(), m_pending.end(), same))
            return;
        m_pending.push_back(job);
    }
    m_queue.post([job = std::move(job), lifeline = m_lifeline, cancel = m_queue.cancelFlag()] {
        const Loudness loudness = MeasureLoudness(job.path, cancel);
        if (cancel->load(std::memory_order_relaxed))
            return;
        lifeline->with([&](Leveller& leveller) { leveller.finishMeasure(job, loudness); });
    });
}

float Leveller::gainFor(const Cart& cart) const {
    std::lock_guard lock(m_mutex);
    const auto known = m_known.constFind(cart.path());
    if (known == m_known.constEnd() || known->identity != cart.identity())
        return 1.0f;
    return gainFrom(m_target, known->loudness);
}

void Leveller::finishMeasure(const Job& job, const Loudness& loudness) {
    m_measures.fetch_add(1, std::memory_order_relaxed);
    store(job, loudness);
    std::lock_guard lock(m_mutex);
    m_known.insert(job.path, {job.identity, loudness});
    std::erase_if(m_pending, [&job](const Job& other) {
        return other.path == job.path && other.identity == job.identity;
    });
}

// One line per measure: size, modification time (ns), integrated loudness (LUFS) and
// sample peak, or "-" twice for a file that could not be measured, then the path, all
// separated by tabs.
void Leveller::loadCache() {
    QFile file(m_cacheFile);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QStringList fields = in.readLine().split(QLatin1Char('\t'));
        if (fields.size() < 5)
            continue;
        bool sizeOk = false, timeOk = false;
        Known known;
        known.identity = {fields[0].toLongLong(&sizeOk), fields[1].toLongLong(&timeOk)};
        bool lufsOk = false, peakOk = false;
        known.loudness.integratedLufs = fields[2].toDouble(&lufsOk);
        known.loudness.samplePeak = fields[3].toDouble(&peakOk);
        known.loudness.ok = lufsOk && peakOk && known.loudness.samplePeak > 0;
        if (sizeOk && timeOk)
            m_known.insert(fields.mid(4).join(QLatin1Char('\t')), known);
    }
}

void Leveller::store(const Job& job, const Loudness& loudness) {
    const QString figures = loudness.ok ? QStringLiteral("%1\t%2")
                                              .arg(loudness.integratedLufs, 0, 'f', 6)
                                              .arg(loudness.samplePeak, 0, 'g', 9)
                                        : QStringLiteral("-\t-");
    const QString line = QStringLiteral("%1\t%2\t%3\t%4\n")
                             .arg(job.identity.size)
                             .arg(job.identity.modified)
                             .arg(figures, job.path);
    QFile file(m_cacheFile);
    const bool ok = QDir().mkpath(QFileInfo(m_cacheFile).absolutePath()) &&
                    file.open(QIODevice::WriteOnly | QIODevice::Append) &&
                    file.write(line.toUtf8()) == line.toUtf8().size() && file.flush();
    // The figure still serves this run; only the next start measures the file again.
    if (!ok && !std::exchange(m_cacheFailed, true)) {
        std::fprintf(stderr, "airloom: loudness cache %s not written: %s\n",
                     qUtf8Printable(m_cacheFile), qUtf8Printable(file.errorString()));
    }
}
