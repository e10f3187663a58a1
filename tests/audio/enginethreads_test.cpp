// Two threads against each other, for ThreadSanitizer: the UI thread steering plays through
// the lock-free queues while an output callback renders on a thread of its own, one cart
// streaming through its ring. The order of what they carry is checked sample for sample by
// the players' tests.
// Bounded in iterations; what is checked holds whatever the interleaving.
#include "audio/audioengine.h"
#include "fixtures.h"

#include <QTemporaryDir>
#include <atomic>
#include <gtest/gtest.h>
#include <random>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

// An output whose callback runs on its own thread, period after period, as fast as it can.
class ThreadedDevice : public OutputDevice {
public:
    ~ThreadedDevice() override { stop(); }
    int sampleRate() const override { return 48000; }
    int periodFrames() const override { return 64; }
    int latencyFrames() const override { return 0; }
    void start(RenderSource& source) override {
        m_running.store(true);
        m_thread = std::thread([this, &source] {
            std::vector<float> period(2 * 64);
            while (m_running.load()) {
                source.render(period.data(), 64);
                source.isSilent();
                std::this_thread::yield();
            }
        });
    }
    void stop() override {
        m_running.store(false);
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    std::atomic<bool> m_running{false};
    std::thread m_thread;
};

// Plays, joins, stops and takebacks in a random order while the callback renders: at the
// end every voice has been let go of by both sides and deleted.
TEST(EngineThreads, EveryVoiceIsDeletedWhateverTheCallbackDidMeanwhile) {
    QTemporaryDir dir;
    AudioEngine engine(std::make_unique<ThreadedDevice>());
    // Measured here: the measuring pool's own waits are Qt's, which the sanitizer cannot see.
    engine.setMeasureRunner([](const std::function<void()>& job) { job(); });
    // Short carts join every few periods; the long one streams past its head.
    QStringList files;
    for (const auto& [name, ms] : {std::pair{u"a.wav"_s, 4}, {u"b.wav"_s, 9}, {u"c.wav"_s, 5500}})
        engine.openCart(files.emplace_back(Fixtures::wav(dir.path(), name, ms)));
    engine.waitForBackgroundWork();
    std::vector<std::shared_ptr<Cart>> carts;
    for (const QString& file : files)
        carts.push_back(engine.openCart(file));

    std::mt19937 random(18);
    const auto any = [&random](std::size_t n) {
        return std::size_t(random()) % n;
    };
    std::vector<VoiceHandle> plays;
    for (int step = 0; step < 3000; ++step) {
        if (plays.empty() || any(4) == 0) {
            if (const VoiceHandle voice = engine.play(carts[any(carts.size())]))
                plays.push_back(voice);
            continue;
        }
        const std::size_t at = any(plays.size());
        const VoiceHandle voice = plays[at];
        switch (any(6)) {
        case 0:
            engine.arm(voice, carts[any(2)]);
            break;
        case 1:
            engine.disarm(voice);
            break;
        case 2:
            engine.pause(voice);
            break;
        case 3:
            engine.resume(voice);
            break;
        default:
            if (engine.isHeardToEnd(voice) || any(2) == 0) {
                plays.erase(plays.begin() + std::ptrdiff_t(at));
                if (const VoiceHandle next = engine.release(voice))
                    plays.push_back(next);
            }
        }
    }
    for (const VoiceHandle voice : plays)
        engine.release(engine.release(voice));
    for (int spin = 0; spin < 10'000'000 && engine.voices().voiceCount() > 0; ++spin)
        std::this_thread::yield();
    EXPECT_EQ(engine.voices().voiceCount(), 0);
}

} // namespace
