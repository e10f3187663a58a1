// Figures of a share that stops answering: the cart on air's underruns and silent frames
// while the armed follower's file hangs, and the wall time of the end with a reader held
// in a read. The output is the clock-paced NullDevice, so the figures take real time
// (about a minute). Run
//   build/bench/airloom-bench --benchmark_filter=Stall
#include "audio/audioengine.h"
#include "audio/fixtures.h"
#include "audio/nulldevice.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRate = 48000;
constexpr int kPeriod = 256;
constexpr int kOnAirSeconds = 20;

// The Sequence story: deck 1's cart on air, deck 2's armed to follow; deck 2's file stops
// answering just before the fire and answers again after the hang. The on-air cart streams
// past its head all the while.
void StallOnAirWhileTheFollowerHangs(benchmark::State& state) {
    const auto hang = std::chrono::seconds(state.range(0));
    QTemporaryDir dir;
    const QString onAir =
        Fixtures::wav(dir.path(), QStringLiteral("on air.wav"), kOnAirSeconds * 1000);
    const QString next = Fixtures::wav(dir.path(), QStringLiteral("next.wav"), 20000);
    for (auto _ : state) {
        auto files = std::make_shared<Fixtures::FaultyFiles>();
        AudioEngine engine(std::make_unique<NullDevice>(kRate, kPeriod), files);
        for (const QString& path : {onAir, next}) {
            engine.openCart(path);
            engine.waitForBackgroundWork();
        }
        files->hold(QStringLiteral("next.wav"));
        const VoiceHandle voice = engine.play(engine.openCart(onAir));
        engine.arm(voice, engine.openCart(next));
        std::thread answer([&files, hang] {
            std::this_thread::sleep_for(hang);
            files->answer(QStringLiteral("next.wav"));
        });
        const std::uint64_t start = engine.renderedFrames();
        while (!engine.handedOver(voice))
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const std::uint64_t elapsed = engine.renderedFrames() - start;
        state.counters["underruns"] = static_cast<double>(engine.underruns());
        // The frames between the fire and the handover beyond the cart's own: silence heard
        // in the cart on air (within a period, as both ends are seen a period apart).
        state.counters["silent_frames_max"] = std::max(
            0.0, static_cast<double>(elapsed) - static_cast<double>(kOnAirSeconds * kRate));
        answer.join();
        engine.release(engine.handedOver(voice));
    }
}

// The end of the engine while a play's reader is held in a read of a file that does not
// answer: the wall time of the engine's destruction.
void StallEndWithAHungReader(benchmark::State& state) {
    QTemporaryDir dir;
    const QString cart = Fixtures::wav(dir.path(), QStringLiteral("hung.wav"), 10000);
    double wallMs = 0;
    for (auto _ : state) {
        auto files = std::make_shared<Fixtures::FaultyFiles>();
        auto engine =
            std::make_unique<AudioEngine>(std::make_unique<NullDevice>(kRate, kPeriod), files);
        engine->openCart(cart);
        engine->waitForBackgroundWork();
        files->hold(QStringLiteral("hung.wav"));
        engine->play(engine->openCart(cart));
        files->waitUntilHeld(QStringLiteral("hung.wav"));
        const auto start = Clock::now();
        engine.reset();
        wallMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        state.SetIterationTime(wallMs / 1000);
        files->answer(QStringLiteral("hung.wav"));
        files->waitUntilAllClosed();
    }
    state.counters["end_wall_ms"] = wallMs;
}

} // namespace

BENCHMARK(StallOnAirWhileTheFollowerHangs)
    ->Arg(3)
    ->Arg(15)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);
BENCHMARK(StallEndWithAHungReader)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
