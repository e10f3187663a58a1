// Figures of the media engine: fire latency prepared and unprepared, exact-length time and
// error, the cost of the background full decode, memory of prepared carts, load of the
// output callback. Run
//   build/bench/airloom-bench --benchmark_filter=Audio
// The 10-minute carts are made once per run with ffmpeg and lame (about a minute).
#include "audio/audioengine.h"
#include "audio/cartpreparer.h"
#include "audio/decoder.h"
#include "audio/fixtures.h"
#include "audio/mixer.h"
#include "audio/nulldevice.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <random>
#include <thread>
#include <unistd.h>

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRate = 48000;
constexpr int kPeriod = 256;

// The carts of the run, made on first use and removed at exit.
struct Media {
    QTemporaryDir dir;
    QString cbr, xing, bare, wav, mpg;

    Media() {
        // Ten minutes that open with three quiet seconds, as many carts do: a VBR file
        // without a header then starts at a low bit rate, which fools a bitrate estimate.
        const QString source = dir.filePath(QStringLiteral("source.wav"));
        run(QStringLiteral("ffmpeg"),
            {QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"), QStringLiteral("error"),
             QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
             QStringLiteral("anoisesrc=color=pink:amplitude=0.3:duration=600:sample_rate=44100"),
             QStringLiteral("-af"), QStringLiteral("volume=enable='lt(t,3)':volume=0.01"),
             QStringLiteral("-ac"), QStringLiteral("2"), source});
        cbr =
            lame(source, QStringLiteral("cbr.mp3"), {QStringLiteral("-b"), QStringLiteral("128")});
        xing =
            lame(source, QStringLiteral("xing.mp3"), {QStringLiteral("-V"), QStringLiteral("4")});
        bare = lame(source, QStringLiteral("bare.mp3"),
                    {QStringLiteral("-V"), QStringLiteral("4"), QStringLiteral("-t")});
        QFile::remove(source);
        wav = Fixtures::wav(dir.path(), QStringLiteral("thirty.wav"), 30000);
        mpg = Fixtures::mpg(dir.path(), QStringLiteral("thirty.mpg"), 30000, true);
    }

    static void run(const QString& program, const QStringList& arguments) {
        QProcess process;
        process.start(program, arguments);
        process.waitForFinished(-1);
    }
    QString lame(const QString& source, const QString& name, QStringList options) {
        const QString path = dir.filePath(name);
        run(QStringLiteral("lame"), options << QStringLiteral("--quiet") << source << path);
        return path;
    }
    // Another name for the same file: a cart the cache has never seen.
    QString alias(const QString& path, int n) const {
        const QString link =
            dir.filePath(QStringLiteral("alias-%1-%2").arg(n).arg(QFileInfo(path).fileName()));
        QFile::remove(link);
        if (::link(QFile::encodeName(path).constData(), QFile::encodeName(link).constData()) != 0)
            QFile::copy(path, link);
        return link;
    }
};

Media& media() {
    static Media instance;
    return instance;
}

// Spins until the callback has rendered the voice's first frame.
void waitForFirstFrame(AudioEngine& engine, VoiceHandle voice) {
    while (engine.consumedFrames(voice) == 0 && !engine.isHeardToEnd(voice))
        std::this_thread::yield();
}

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Play() lands at a random point of the device's period, as an operator's key press does;
// without this the loop would lock onto the callback and always wait a whole period.
void randomPause(std::mt19937& random) {
    std::uniform_int_distribution<int> micros(0, 1000000 * kPeriod / kRate);
    std::this_thread::sleep_for(std::chrono::microseconds(micros(random)));
}

void reportSpread(benchmark::State& state, std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    state.counters["median_ms"] = 1000 * samples[samples.size() / 2];
    state.counters["max_ms"] = 1000 * samples.back();
}

// "Open" + "Play" of a prepared cart to the callback that renders its first frame.
void AudioFireLatencyPrepared(benchmark::State& state) {
    AudioEngine engine(std::make_unique<NullDevice>(kRate, kPeriod));
    const QString file = media().cbr;
    engine.openCart(file);
    engine.waitForBackgroundWork();
    std::mt19937 random(1);
    std::vector<double> samples;
    for (auto _ : state) {
        randomPause(random);
        const auto start = Clock::now();
        const VoiceHandle voice = engine.play(engine.openCart(file));
        waitForFirstFrame(engine, voice);
        samples.push_back(seconds(Clock::now() - start));
        state.SetIterationTime(samples.back());
        engine.release(voice);
    }
    state.counters["period_ms"] = 1000.0 * kPeriod / kRate;
    reportSpread(state, samples);
}

// The same cart under a name just measured, its head not prepared yet: opened and decoded
// on the way.
void AudioFireLatencyUnprepared(benchmark::State& state) {
    AudioEngine engine(std::make_unique<NullDevice>(kRate, kPeriod));
    std::mt19937 random(1);
    std::vector<double> samples;
    int n = 0;
    for (auto _ : state) {
        const QString file = media().alias(media().cbr, n++);
        engine.openCart(file);
        engine.waitForMeasurements();
        randomPause(random);
        const auto start = Clock::now();
        const VoiceHandle voice = engine.play(engine.openCart(file));
        waitForFirstFrame(engine, voice);
        samples.push_back(seconds(Clock::now() - start));
        state.SetIterationTime(samples.back());
        engine.release(voice);
    }
    reportSpread(state, samples);
}

std::int64_t containerEstimateMs(const QString& path) {
    AVFormatContext* format = nullptr;
    std::int64_t ms = -1;
    if (avformat_open_input(&format, QFile::encodeName(path).constData(), nullptr, nullptr) == 0) {
        if (avformat_find_stream_info(format, nullptr) >= 0 && format->duration > 0)
            ms = format->duration / 1000;
        avformat_close_input(&format);
    }
    return ms;
}

std::int64_t decodedMs(const QString& path) {
    Decoder decoder(kRate);
    decoder.open(path);
    std::vector<float> chunk(8192 * 2);
    while (decoder.read(chunk.data(), 8192) == 8192) {
    }
    return std::llround(static_cast<double>(decoder.sourceFrames()) * 1000 / decoder.sourceRate());
}

// The exact length of a file: time of the packet scan, and its error against a full decode
// (beside it the container's own estimate, which is what a bitrate guess would give).
void AudioExactLength(benchmark::State& state, QString Media::*file) {
    const QString path = media().*file;
    Decoder::Measurement measured;
    for (auto _ : state)
        benchmark::DoNotOptimize(measured = Decoder::measure(path));
    const std::int64_t exact = decodedMs(path);
    state.counters["length_ms"] = static_cast<double>(measured.milliseconds());
    state.counters["error_ms"] = static_cast<double>(std::llabs(measured.milliseconds() - exact));
    state.counters["estimate_error_ms"] =
        static_cast<double>(std::llabs(containerEstimateMs(path) - exact));
}

double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// What the background full decode that corrects a cart's length costs: the CPU time of
// decoding a 10-minute MP3 to its end at the output rate, and of one slice of it (the
// longest a preparation queued behind it waits).
void AudioBackgroundLength(benchmark::State& state) {
    double cpu = 0, slice = 0;
    for (auto _ : state) {
        const double start = threadCpuMs();
        Decoder decoder(kRate);
        decoder.open(media().xing);
        const double opened = threadCpuMs();
        const std::int64_t sliceFrames = std::int64_t{CartPreparer::kCountSliceSeconds} * kRate;
        decoder.skip(sliceFrames);
        slice = threadCpuMs() - opened;
        while (decoder.skip(sliceFrames) == sliceFrames) {
        }
        cpu = threadCpuMs() - start;
        state.SetIterationTime(cpu / 1e3);
    }
    state.counters["cpu_ms"] = cpu;
    state.counters["slice_cpu_ms"] = slice;
}

long residentKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// Resident memory with ten 10-minute carts prepared.
void AudioPreparedMemory(benchmark::State& state) {
    const QString sources[] = {media().cbr, media().xing, media().bare};
    for (auto _ : state) {
        const long before = residentKb();
        AudioEngine engine(std::make_unique<NullDevice>(kRate, kPeriod));
        for (int i = 0; i < 10; ++i) // the cache holds them
            engine.openCart(media().alias(sources[i % 3], 100 + i));
        engine.waitForBackgroundWork();
        state.counters["resident_MB"] = residentKb() / 1024.0;
        state.counters["added_MB"] = (residentKb() - before) / 1024.0;
    }
}

// The output callback's share of real time while a prepared 10-minute cart streams.
void AudioCallbackLoad(benchmark::State& state) {
    for (auto _ : state) {
        auto device = std::make_unique<NullDevice>(kRate, kPeriod);
        NullDevice* null = device.get();
        AudioEngine engine(std::move(device));
        engine.openCart(media().xing);
        engine.waitForBackgroundWork();
        const std::uint64_t before = engine.renderedFrames();
        const double loadBefore = null->callbackLoad();
        const VoiceHandle voice = engine.play(engine.openCart(media().xing));
        std::this_thread::sleep_for(std::chrono::seconds(8)); // past the head, into the stream
        const double periods = static_cast<double>(engine.renderedFrames() - before) / kPeriod;
        state.counters["load_percent"] = 100.0 * null->callbackLoad();
        state.counters["load_before_play_percent"] = 100.0 * loadBefore;
        state.counters["periods"] = periods;
        state.counters["underruns"] = static_cast<double>(engine.underruns());
        engine.release(voice);
    }
}

// One period of the output callback's render with state.range(0) voices playing from
// memory, at levels that need no clipping: the time per period, against the period's
// length (period_us).
void AudioMixerRender(benchmark::State& state) {
    constexpr std::int64_t kFrames = kRate; // each voice starts again after a second
    const std::vector<float> head(static_cast<std::size_t>(kFrames) * 2, 0.01f);
    Mixer mixer(kRate);
    std::vector<std::unique_ptr<Voice>> voices;
    for (int i = 0; i < state.range(0); ++i) {
        Voice& voice = *voices.emplace_back(std::make_unique<Voice>());
        voice.id = static_cast<std::uint64_t>(i + 1);
        voice.head = head.data();
        voice.headFrames = kFrames;
        mixer.send({Mixer::Command::Add, &voice, voice.id});
    }
    std::vector<float> out(static_cast<std::size_t>(kPeriod) * 2);
    for (auto _ : state) {
        // The callback's own field, touched here between two renders on the same thread.
        for (const auto& voice : voices) {
            if (voice->position + kPeriod > kFrames)
                voice->position = 0;
        }
        mixer.render(out.data(), kPeriod);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["period_us"] = 1e6 * kPeriod / kRate;
}

// The last guard of the render alone, over one period of sound within full scale.
void AudioFullScaleGuard(benchmark::State& state) {
    std::vector<float> period(static_cast<std::size_t>(kPeriod) * 2, 0.25f);
    for (auto _ : state) {
        benchmark::DoNotOptimize(keepWithinFullScale(period.data(), period.size()));
        benchmark::ClobberMemory();
    }
    state.counters["period_us"] = 1e6 * kPeriod / kRate;
}

BENCHMARK(AudioMixerRender)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kNanosecond);
BENCHMARK(AudioFullScaleGuard)->Unit(benchmark::kNanosecond);
BENCHMARK(AudioFireLatencyPrepared)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(200);
BENCHMARK(AudioFireLatencyUnprepared)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(20);
BENCHMARK_CAPTURE(AudioExactLength, mp3_10min_cbr, &Media::cbr)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK_CAPTURE(AudioExactLength, mp3_10min_vbr_xing, &Media::xing)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK_CAPTURE(AudioExactLength, mp3_10min_vbr_no_header, &Media::bare)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK_CAPTURE(AudioExactLength, wav_30s, &Media::wav)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK_CAPTURE(AudioExactLength, mpg_30s, &Media::mpg)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK(AudioBackgroundLength)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(AudioPreparedMemory)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(AudioCallbackLoad)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
