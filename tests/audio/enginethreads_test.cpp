// Two threads against each other, for ThreadSanitizer: the lock-free queues and ring, and
// the UI thread steering plays while an output callback renders on a thread of its own.
// Bounded in iterations; what is checked holds whatever the interleaving.
#include "audio/audioengine.h"
#include "audio/samplering.h"
#include "audio/spscqueue.h"
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

TEST(EngineThreads, TheQueueDeliversEveryMessageInOrder) {
    SpscQueue<std::uint64_t, 8> queue;
    constexpr std::uint64_t kCount = 20000;
    std::thread producer([&queue] {
        for (std::uint64_t i = 1; i <= kCount;) {
            if (queue.push(i))
                ++i;
            else
                std::this_thread::yield();
        }
    });
    std::uint64_t expected = 1;
    for (std::uint64_t got = 0; expected <= kCount;) {
        if (!queue.pop(got)) {
            std::this_thread::yield();
            continue;
        }
        ASSERT_EQ(got, expected);
        ++expected;
    }
    producer.join();
    EXPECT_TRUE(queue.empty());
}

// Writes and reads of every size from 1 to a prime, so both sides wrap at every offset.
TEST(EngineThreads, TheSampleRingCarriesEveryFrameInOrderAcrossItsEnd) {
    SampleRing ring(64);
    constexpr int kFrames = 40000;
    std::thread producer([&ring] {
        std::vector<float> chunk(2 * 37);
        for (int next = 0, size = 1; next < kFrames; size = size % 37 + 1) {
            const int n = std::min(size, kFrames - next);
            for (int i = 0; i < n; ++i) {
                chunk[2 * i] = float(next + i);
                chunk[2 * i + 1] = -float(next + i);
            }
            const auto written = static_cast<int>(ring.write(chunk.data(), std::size_t(n)));
            next += written;
            if (written == 0)
                std::this_thread::yield();
        }
    });
    std::vector<float> chunk(2 * 53);
    for (int next = 0, size = 1; next < kFrames; size = size % 53 + 1) {
        const auto read = static_cast<int>(ring.read(chunk.data(), std::size_t(size)));
        for (int i = 0; i < read; ++i) {
            ASSERT_EQ(chunk[2 * i], float(next + i));
            ASSERT_EQ(chunk[2 * i + 1], -float(next + i));
        }
        next += read;
        if (read == 0)
            std::this_thread::yield();
    }
    producer.join();
    EXPECT_EQ(ring.readableFrames(), 0u);
}

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
    while (engine.voices().voiceCount() > 0)
        std::this_thread::yield();
    EXPECT_EQ(engine.voices().voiceCount(), 0);
}

} // namespace
