// The deck engine on the audio layer: how fast a fired cart reaches the output, how much
// silence a Sequence or a Loop leaves between carts, what the 10 ms end-of-cart check
// costs, and how long a load of a big file holds up the UI thread.

#include "audio/audioengine.h"
#include "audio/cart.h"
#include "audio/manualdevice.h"
#include "audio/nulldevice.h"
#include "common/cartselection.h"
#include "common/eventpump.h"
#include "decks/deckengine.h"
#include "decks/mcidevice.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QtEndian>
#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstring>
#include <memory>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

constexpr int kRate = 48000;
constexpr int kPeriod = 256;
constexpr int kTickFrames = kRate / 100; // the output's frames in one 10 ms Timer1 tick
constexpr int kTicksPerStatusUpdate = DeckEngine::kStatusUpdateInterval / 10;

class NoPump : public EventPump {
public:
    void processPendingEvents() override {}
};

class Selection : public CartSelection {
public:
    QString FileName() const override { return fileName; }
    QString Path() const override { return folder; }
    QString folder;
    QString fileName;
};

// A stereo 16-bit cart of one constant sample value: its first frame is not silent, and
// the output tells which cart is heard.
void writeLevelCart(const QString& path, int frames, qint16 level) {
    QByteArray wav(44 + frames * 4, Qt::Uninitialized);
    char* p = wav.data();
    const auto put = [&p](auto value) {
        qToLittleEndian(value, p);
        p += sizeof(value);
    };
    std::memcpy(p, "RIFF", 4);
    p += 4;
    put(quint32(36 + frames * 4));
    std::memcpy(p, "WAVEfmt ", 8);
    p += 8;
    put(quint32(16));
    put(quint16(1));
    put(quint16(2));
    put(quint32(kRate));
    put(quint32(kRate * 4));
    put(quint16(4));
    put(quint16(16));
    std::memcpy(p, "data", 4);
    p += 4;
    put(quint32(frames * 4));
    for (int i = 0; i < frames * 2; ++i)
        put(level);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(wav);
}

// Sits between the audio engine and a real output and notes the moment the callback first
// renders a frame that is not silent once armed. Adds an atomic load to the callback.
class FirstFrameProbe : public OutputDevice, private RenderSource {
public:
    explicit FirstFrameProbe(std::unique_ptr<OutputDevice> inner) : m_inner(std::move(inner)) {}
    ~FirstFrameProbe() override { m_inner->stop(); }

    int sampleRate() const override { return m_inner->sampleRate(); }
    int periodFrames() const override { return m_inner->periodFrames(); }
    int latencyFrames() const override { return m_inner->latencyFrames(); }
    void start(RenderSource& source) override {
        m_source = &source;
        m_inner->start(*this);
    }
    void stop() override { m_inner->stop(); }
    void wake() override { m_inner->wake(); }

    void arm() {
        m_firstNs.store(0, std::memory_order_relaxed);
        m_armed.store(true, std::memory_order_release);
    }
    // Steady-clock nanoseconds of the callback that rendered the first sound; 0 until then.
    std::int64_t firstSoundNs() const { return m_firstNs.load(std::memory_order_acquire); }

private:
    void render(float* out, int frames) noexcept override {
        m_source->render(out, frames);
        if (!m_armed.load(std::memory_order_acquire))
            return;
        if (std::any_of(out, out + frames * 2, [](float s) { return s != 0.0f; })) {
            m_armed.store(false, std::memory_order_relaxed);
            m_firstNs.store(nowNs(), std::memory_order_release);
        }
    }
    void waitUntilReady(int frames) override { m_source->waitUntilReady(frames); }
    bool isSilent() const noexcept override { return m_source->isSilent(); }

public:
    static std::int64_t nowNs() {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }

private:
    std::unique_ptr<OutputDevice> m_inner;
    RenderSource* m_source = nullptr;
    std::atomic<bool> m_armed{false};
    std::atomic<std::int64_t> m_firstNs{0};
};

// The engine with its two media controls on a given output.
struct Machine {
    explicit Machine(std::unique_ptr<OutputDevice> device)
        : audio(std::move(device)), player(audio), preview(audio),
          engine(player, preview, selection, pump) {
        selection.folder = dir.path();
        for (int deck = 1; deck <= kDeckCount; ++deck)
            engine.SetDeckMode(deck, QStringLiteral("Norm"));
        engine.ClearDeckLabels();
    }
    void load(int deck, const QString& name, int frames, qint16 level) {
        writeLevelCart(dir.filePath(name), frames, level);
        selection.fileName = name;
        engine.LoadCart(deck);
        audio.waitForMeasurements();
    }

    QTemporaryDir dir;
    Selection selection;
    NoPump pump;
    AudioEngine audio;
    MciDevice player;
    MciDevice preview;
    DeckEngine engine;
};

// --- Fire to first frame, null device ---------------------------------------------------

void BM_FireDeckToFirstFrame(benchmark::State& state) {
    auto probeOwner =
        std::make_unique<FirstFrameProbe>(std::make_unique<NullDevice>(kRate, kPeriod));
    FirstFrameProbe& probe = *probeOwner;
    Machine machine(std::move(probeOwner));
    machine.load(1, QStringLiteral("ID.wav"), 30 * kRate, 8000);
    machine.audio.waitForBackgroundWork(); // loaded a while before it is fired

    const double periodUs = 1e6 * kPeriod / kRate;
    std::vector<double> latencies;
    std::vector<double> calls;
    for (auto _ : state) {
        probe.arm();
        const std::int64_t start = FirstFrameProbe::nowNs();
        machine.engine.FireDeck(1);
        calls.push_back(double(FirstFrameProbe::nowNs() - start) / 1e3);
        while (probe.firstSoundNs() == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(20));
        latencies.push_back(double(probe.firstSoundNs() - start) / 1e3);
        state.SetIterationTime(latencies.back() / 1e6);

        machine.engine.StopCart();
        // Let the stop's fade pass before the next fire is armed, and fire at every phase
        // of the output's period, as an operator would.
        const double phase = double(latencies.size() * 37 % 100) / 100.0;
        std::this_thread::sleep_for(std::chrono::microseconds(int((4 + phase) * periodUs)));
        QCoreApplication::processEvents();
    }
    // The machine is shared: medians and the 95th percentile say more than the mean.
    const auto percentile = [](std::vector<double> values, double p) {
        std::sort(values.begin(), values.end());
        return values[std::size_t(p * double(values.size() - 1))];
    };
    state.counters["first_frame_median_us"] = percentile(latencies, 0.5);
    state.counters["first_frame_p95_us"] = percentile(latencies, 0.95);
    state.counters["FireDeck_call_median_us"] = percentile(calls, 0.5);
    state.counters["FireDeck_call_p95_us"] = percentile(calls, 0.95);
    state.counters["period_us"] = periodUs;
}
BENCHMARK(BM_FireDeckToFirstFrame)->UseManualTime()->Iterations(200)->Unit(benchmark::kMicrosecond);

// --- Silence between carts, manual device at the timer's real rate ----------------------

// Counts the plays the deck engine starts.
class StartCounter : public PlayObserver {
public:
    void playStarted(int) override { ++starts; }
    void playEnding(Ending) override {}
    int starts = 0;
};

// The output renders whole periods as their time comes; Timer1 ticks every 10 ms and
// MMControl1's StatusUpdate every 250 ms. Returns the silence at each join between two
// carts: the silent run between their sounds, 0 where the second follows at once.
std::vector<int> silencesBetweenCarts(Machine& machine, ManualDevice& device, int ticks) {
    StartCounter counter;
    machine.engine.setPlayObserver(&counter);
    machine.engine.FireDeck(1);
    for (int tick = 1; tick <= ticks; ++tick) {
        const long long due = (long long)tick * kTickFrames / kPeriod * kPeriod;
        if (due > device.renderedFrames())
            device.render(int(due - device.renderedFrames()));
        machine.engine.Timer1_Timer();
        if (tick % kTicksPerStatusUpdate == 0)
            machine.engine.MMControl1_StatusUpdate();
    }
    std::vector<int> gaps;
    const auto& samples = device.captured();
    int run = 0;
    bool heard = false;
    for (std::size_t i = 0; i < samples.size(); i += 2) {
        if (samples[i] != 0.0f) {
            if (heard && run > 0)
                gaps.push_back(run);
            heard = true;
            run = 0;
        } else {
            ++run;
        }
    }
    machine.engine.setPlayObserver(nullptr);
    // Each start after the fire is a join; those without a silent run joined gaplessly.
    gaps.resize(std::max<std::size_t>(gaps.size(), std::size_t(std::max(0, counter.starts - 1))));
    return gaps;
}

// Cart lengths that put the end of the cart at every phase of the tick and the period.
constexpr int kLengths = 96;
int cartFrames(int i) {
    return kRate / 2 + i * 97;
}

void reportGaps(benchmark::State& state, const std::vector<int>& gaps) {
    if (gaps.empty()) {
        state.SkipWithError("no join was measured");
        return;
    }
    double sum = 0;
    for (const int gap : gaps)
        sum += gap;
    state.counters["joins"] = double(gaps.size());
    state.counters["gap_min_frames"] = *std::min_element(gaps.begin(), gaps.end());
    state.counters["gap_mean_frames"] = sum / double(gaps.size());
    state.counters["gap_max_frames"] = *std::max_element(gaps.begin(), gaps.end());
    state.counters["gap_max_ms"] = 1000.0 * *std::max_element(gaps.begin(), gaps.end()) / kRate;
    state.counters["goal_frames"] = 0;
}

// Plays carts of every test length on a fresh machine set up by setUp(machine, frames) and
// reports the silences between them; ticks(frames) is how long each run lasts.
template <typename SetUp, typename Ticks>
void measureSilences(benchmark::State& state, SetUp setUp, Ticks ticks) {
    std::vector<int> gaps;
    for (auto _ : state) {
        for (int i = 0; i < kLengths; ++i) {
            auto device = std::make_unique<ManualDevice>(kRate, kPeriod);
            ManualDevice& output = *device;
            Machine machine(std::move(device));
            setUp(machine, cartFrames(i));
            const auto found = silencesBetweenCarts(machine, output, ticks(cartFrames(i)));
            gaps.insert(gaps.end(), found.begin(), found.end());
        }
    }
    reportGaps(state, gaps);
}

void BM_SequenceSilence(benchmark::State& state) {
    measureSilences(
        state,
        [](Machine& machine, int frames) {
            machine.load(1, QStringLiteral("A.wav"), frames, 8000);
            machine.load(2, QStringLiteral("B.wav"), kRate / 4, 9000);
            machine.engine.SetDeckMode(1, QStringLiteral("Seqnc"));
        },
        [](int frames) { return frames / kTickFrames + 40; });
}
BENCHMARK(BM_SequenceSilence)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_LoopSilence(benchmark::State& state) {
    measureSilences(
        state,
        [](Machine& machine, int frames) {
            machine.load(1, QStringLiteral("Bed.wav"), frames, 8000);
            machine.engine.SetDeckMode(1, QStringLiteral("Loop"));
        },
        // Three passes and a half.
        [](int frames) { return 7 * frames / 2 / kTickFrames; });
}
BENCHMARK(BM_LoopSilence)->Iterations(1)->Unit(benchmark::kMillisecond);

// --- The end-of-cart check --------------------------------------------------------------

// One Timer1 tick on the null device: 0 with nothing ever started, 1 after a cart has
// ended (the player open and stopped), 2 while a cart plays.
void BM_Timer1Tick(benchmark::State& state) {
    Machine machine(std::make_unique<NullDevice>(kRate, kPeriod));
    machine.load(1, QStringLiteral("Long.wav"), 120 * kRate, 8000);
    machine.audio.waitForBackgroundWork();
    if (state.range(0) >= 1) {
        machine.engine.FireDeck(1);
        machine.engine.Timer1_Timer();
    }
    if (state.range(0) == 1) {
        machine.engine.StopCart();
        machine.engine.Timer1_Timer();
    }
    for (auto _ : state)
        machine.engine.Timer1_Timer();
    state.counters["playing"] = machine.engine.IsPlaying(1) ? 1 : 0;
}
BENCHMARK(BM_Timer1Tick)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kNanosecond);

// The whole process for two seconds: 0, the null output alone (the baseline of the audio
// layer); 1, idle with the window's timers running (Timer1 every 10 ms and MMControl1's
// StatusUpdate, a cart stopped and the player open); 2, the same with a cart playing.
void BM_ProcessCpu(benchmark::State& state) {
    Machine machine(std::make_unique<NullDevice>(kRate, kPeriod));
    machine.load(1, QStringLiteral("Long.wav"), 60 * kRate, 8000);
    machine.audio.waitForBackgroundWork();
    QTimer timer1;
    timer1.setInterval(10);
    QObject::connect(&timer1, &QTimer::timeout, &machine.engine,
                     [&] { machine.engine.Timer1_Timer(); });
    if (state.range(0) >= 1) {
        machine.engine.FireDeck(1);
        if (state.range(0) == 1)
            machine.engine.StopCart();
        timer1.start();
    }

    double percent = 0;
    for (auto _ : state) {
        rusage before{};
        getrusage(RUSAGE_SELF, &before);
        QElapsedTimer wall;
        wall.start();
        QEventLoop loop;
        QTimer::singleShot(2000, &loop, &QEventLoop::quit);
        loop.exec();
        rusage after{};
        getrusage(RUSAGE_SELF, &after);
        const auto us = [](const rusage& r) {
            return double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1e6 +
                   double(r.ru_utime.tv_usec + r.ru_stime.tv_usec);
        };
        const double wallUs = double(wall.nsecsElapsed()) / 1e3;
        percent = 100.0 * (us(after) - us(before)) / wallUs;
        state.SetIterationTime(wallUs / 1e6);
    }
    state.counters["cpu_percent_of_a_core"] = percent;
    state.counters["playing"] = machine.engine.IsPlaying(1) ? 1 : 0;
}
BENCHMARK(BM_ProcessCpu)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// --- A load of a big file not measured yet --------------------------------------------

// A 1 GiB WAV of silence (a sparse file: the disk holds only its header), as a long
// recording or a file on a slow share would be, loaded into deck 1 while a 1 ms timer runs
// on the UI thread: the longest gap between two of its ticks is how long the window could
// not answer a key or run the end-of-cart check. Arg 0 measures on the UI thread, as every
// load did before the measuring threads; arg 1 on the measuring threads.
void BM_LoadBigUncachedCart(benchmark::State& state) {
    Machine machine(std::make_unique<NullDevice>(kRate, kPeriod));
    if (state.range(0) == 0)
        machine.audio.setMeasureRunner([](std::function<void()> job) { job(); });
    const QString name = QStringLiteral("Archive.wav");
    const QString path = machine.dir.filePath(name);
    const qint64 dataBytes = qint64(1) << 30;
    writeLevelCart(path, 0, 0);
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite) || !file.resize(44 + dataBytes)) {
        state.SkipWithError("cannot write the big cart");
        return;
    }
    for (const auto& [at, value] : {std::pair(4, 36 + dataBytes), std::pair(40, dataBytes)}) {
        const quint32 field = qToLittleEndian(quint32(value));
        file.seek(at);
        file.write(reinterpret_cast<const char*>(&field), sizeof field);
    }
    file.close();

    QElapsedTimer clock;
    qint64 lastTick = 0;
    qint64 longestGap = 0;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longestGap = std::max(longestGap, now - lastTick);
        lastTick = now;
    });
    double loadCallMs = 0;
    double shownMs = 0;
    for (auto _ : state) {
        ticker.start();
        clock.start();
        machine.selection.fileName = name;
        machine.engine.LoadCart(1);
        loadCallMs = double(clock.nsecsElapsed()) / 1e6;
        while (machine.engine.FilePath(1).isEmpty())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        shownMs = double(clock.nsecsElapsed()) / 1e6;
        // The ticker could not run during the call either.
        longestGap = std::max(longestGap, qint64(loadCallMs * 1e6));
        ticker.stop();
        state.SetIterationTime(shownMs / 1e3);
    }
    state.counters["ui_blocked_max_ms"] = double(longestGap) / 1e6;
    state.counters["LoadCart_call_ms"] = loadCallMs;
    state.counters["load_to_shown_ms"] = shownMs;
    state.counters["cart_length_s"] = double(machine.audio.openCart(path)->lengthMs()) / 1e3;
}
BENCHMARK(BM_LoadBigUncachedCart)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
