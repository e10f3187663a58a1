// Two threads against each other, for ThreadSanitizer: the lock-free queue and ring, and the
// UI thread steering plays while an output callback renders on a thread of its own.
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

// Messages and frames in order across the ends of the queue and the ring: written and read
// in every size from 1 to a prime, so both sides wrap at every offset.
TEST(EngineThreads, TheQueueAndTheRingCarryEverythingInOrderAcrossTheirEnds) {
    SpscQueue<int, 8> queue;
    SampleRing ring(64);
    constexpr int kCount = 20000;
    std::atomic<bool> stop{false};
    std::thread producer([&] {
        std::vector<float> chunk(2 * 37);
        for (int sent = 0, next = 0, size = 1; !stop && (sent < kCount || next < kCount);
             size = size % 37 + 1) {
            sent += sent < kCount && queue.push(sent + 1);
            const int n = std::min(size, kCount - next);
            for (int i = 0; i < n; ++i)
                chunk[2 * i] = -(chunk[2 * i + 1] = float(next + i));
            next += static_cast<int>(ring.write(chunk.data(), std::size_t(n)));
            std::this_thread::yield();
        }
    });
    std::vector<float> chunk(2 * 53);
    int popped = 0, next = 0;
    bool inOrder = true;
    for (int size = 1, got = 0; inOrder && (popped < kCount || next < kCount);
         size = size % 53 + 1) {
        if (queue.pop(got))
            inOrder = got == ++popped;
        const auto read = static_cast<int>(ring.read(chunk.data(), std::size_t(size)));
        for (int i = 0; i < read; ++i, ++next)
            inOrder = inOrder && chunk[2 * i + 1] == float(next) && chunk[2 * i] == -float(next);
        if (read == 0)
            std::this_thread::yield();
    }
    stop = true;
    producer.join();
    EXPECT_TRUE(inOrder) << "message " << popped << ", frame " << next;
    EXPECT_TRUE(queue.empty());
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
        const std::size_t action = any(6);
        if (action == 0)
            engine.arm(voice, carts[any(2)]);
        else if (action == 1)
            engine.disarm(voice);
        else if (action == 2)
            engine.pause(voice);
        else if (action == 3)
            engine.resume(voice);
        else if (engine.isHeardToEnd(voice) || any(2) == 0) {
            plays.erase(plays.begin() + std::ptrdiff_t(at));
            if (const VoiceHandle next = engine.release(voice))
                plays.push_back(next);
        }
    }
    for (const VoiceHandle voice : plays)
        engine.release(engine.release(voice));
    for (int spin = 0; spin < 10'000'000 && engine.voices().voiceCount() > 0; ++spin)
        std::this_thread::yield();
    EXPECT_EQ(engine.voices().voiceCount(), 0);
}

} // namespace
