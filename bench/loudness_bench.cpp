// Loudness levelling: the time to measure a 10-minute MP3 (decode and EBU R128 on the
// calling thread, as the measuring thread does it). Goal: under 2 s of one core. Run
//   build/bench/airloom-bench --benchmark_filter=Loudness
#include "audio/leveller.h"

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

} // namespace
