// Loudness levelling: the time to measure a 10-minute MP3 (decode and EBU R128 on the
// calling thread, as the measuring thread does it). Goal: under 2 s of one core. And the
// start-up time the loudness cache costs (the Leveller's construction on the UI thread): a
// 50 MB cache of stale lines at the start that compacts it, and at the next. Run
//   build/bench/airloom-bench --benchmark_filter=Loudness
#include "audio/leveller.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

// Ten minutes of pink noise as a 128 kbit/s MP3, made once per run.
struct TenMinutes {
    QTemporaryDir dir;
    QString mp3 = dir.filePath(QStringLiteral("ten.mp3"));
    TenMinutes() {
        const QString wav = dir.filePath(QStringLiteral("ten.wav"));
        QProcess::execute(QStringLiteral("ffmpeg"),
                          {QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"),
                           QStringLiteral("error"), QStringLiteral("-f"), QStringLiteral("lavfi"),
                           QStringLiteral("-i"),
                           QStringLiteral("anoisesrc=color=pink:amplitude=0.3:duration=600:"
                                          "sample_rate=44100"),
                           QStringLiteral("-ac"), QStringLiteral("2"), wav});
        QProcess::execute(QStringLiteral("lame"), {QStringLiteral("--quiet"), QStringLiteral("-b"),
                                                   QStringLiteral("128"), wav, mp3});
    }
};

void Loudness_Measure10MinuteMp3(benchmark::State& state) {
    static TenMinutes media;
    Loudness loudness;
    for (auto _ : state) {
        loudness = MeasureLoudness(media.mp3);
        benchmark::DoNotOptimize(loudness);
    }
    state.counters["LUFS"] = loudness.integratedLufs;
    state.counters["ok"] = loudness.ok;
}
BENCHMARK(Loudness_Measure10MinuteMp3)->Unit(benchmark::kMillisecond)->Iterations(3);

// 500,000 lines over 2,000 carts, each measured 250 times: about 50 MB.
QByteArray staleCache(const QString& folder) {
    QByteArray text;
    for (int line = 0; line < 500000; ++line)
        text += QStringLiteral("%1\t1765000000000000000\t-19.250000\t0.7071\t%2/carts/Station "
                               "ID number %3 for the morning show.wav\n")
                    .arg(1000000 + line)
                    .arg(folder)
                    .arg(line % 2000)
                    .toUtf8();
    return text;
}

void Loudness_StartWithStaleCache(benchmark::State& state) {
    QTemporaryDir dir;
    const QString cache = dir.filePath(QStringLiteral("loudness.db"));
    const QByteArray stale = staleCache(dir.path());
    for (auto _ : state) {
        state.PauseTiming();
        QFile file(cache);
        file.open(QIODevice::WriteOnly);
        file.write(stale);
        file.close();
        state.ResumeTiming();
        Leveller leveller(-23, cache); // start-up: the cache is read
        state.PauseTiming();
        leveller.waitUntilIdle(); // compacted on the measuring thread
        state.ResumeTiming();
    }
    state.counters["MB"] = double(stale.size()) / 1e6;
}
BENCHMARK(Loudness_StartWithStaleCache)->Unit(benchmark::kMillisecond)->Iterations(3);

void Loudness_StartAfterCompaction(benchmark::State& state) {
    QTemporaryDir dir;
    const QString cache = dir.filePath(QStringLiteral("loudness.db"));
    QFile file(cache);
    file.open(QIODevice::WriteOnly);
    file.write(staleCache(dir.path()));
    file.close();
    Leveller(-23, cache).waitUntilIdle();
    for (auto _ : state)
        Leveller leveller(-23, cache);
    state.counters["kB"] = double(QFileInfo(cache).size()) / 1e3;
}
BENCHMARK(Loudness_StartAfterCompaction)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace
