#include "audio/audioengine.h"
#include "audio/cart.h"
#include "audio/manualdevice.h"
#include "fixtures.h"

#include <QCoreApplication>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <cerrno>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int kRate = 48000;
constexpr int kPeriod = 256;

// Carts on a share whose files stop answering or fail for a while (the engine reads them
// through FaultyFiles); the manual device is the clock.
class FileFaultTest : public ::testing::Test {
protected:
    FileFaultTest()
        : files(std::make_shared<Fixtures::FaultyFiles>()),
          device(new ManualDevice(kRate, kPeriod)),
          engine(std::make_unique<AudioEngine>(std::unique_ptr<OutputDevice>(device), files)) {}
    ~FileFaultTest() override {
        // What a test held answers, so that nothing is left waiting when it ends.
        for (const QString& name : {u"on air.wav"_s, u"next.wav"_s, u"id.wav"_s})
            files->answer(name);
    }

    QString wav(const QString& name, int ms) { return Fixtures::wav(dir.path(), name, ms); }
    // Measured and prepared, as a deck's load leaves it.
    std::shared_ptr<Cart> load(const QString& path) {
        engine->openCart(path);
        engine->waitForBackgroundWork();
        return engine->openCart(path);
    }
    // Renders until the voice has been heard to its end (30 s at most).
    void playOut(VoiceHandle voice) {
        for (long n = 0; !engine->isHeardToEnd(voice) && n < 30L * kRate; n += kPeriod)
            device->renderPeriods(1);
    }
    static std::vector<float> withoutSilence(const std::vector<float>& samples) {
        std::vector<float> sounding;
        for (std::size_t i = 0; i + 1 < samples.size(); i += 2)
            if (samples[i] != 0.0f || samples[i + 1] != 0.0f)
                sounding.insert(sounding.end(), {samples[i], samples[i + 1]});
        return sounding;
    }

    QTemporaryDir dir;
    std::shared_ptr<Fixtures::FaultyFiles> files;
    ManualDevice* device; // owned by the engine
    std::unique_ptr<AudioEngine> engine;
};

// Every descriptor in use while the cart is measured, then while it is prepared: nothing is
// kept from either fault, and the cart plays whole once its file answers.
TEST_F(FileFaultTest, AFailedMeasureOrPrepareIsTriedAgainAndTheCartPlays) {
    const QString path = wav(u"id.wav"_s, 1500);
    files->fail(u"id.wav"_s, EMFILE);
    EXPECT_EQ(engine->openCart(path), nullptr);
    engine->waitForMeasurements();
    EXPECT_EQ(engine->openCart(path), nullptr); // not cached as a cart of length 0
    engine->waitForMeasurements();
    files->answer(u"id.wav"_s);
    const std::shared_ptr<Cart> measured = load(path);
    ASSERT_TRUE(measured && measured->isOpenable());
    EXPECT_EQ(measured->lengthMs(), 1500);

    // The next file measures, then its reads fail while it is prepared.
    const QString next = wav(u"next.wav"_s, 2000);
    std::vector<std::function<void()>> held;
    engine->setMeasureRunner([&held](std::function<void()> job) { held.push_back(job); });
    engine->openCart(next);
    ASSERT_EQ(held.size(), 1u);
    held.front()();
    files->fail(u"next.wav"_s, EIO);
    engine->waitForBackgroundWork();
    const std::shared_ptr<Cart> unprepared = engine->openCart(next);
    ASSERT_TRUE(unprepared);
    const auto state = [&] {
        return std::pair(unprepared->isPrepared(), unprepared->lengthMs());
    };
    EXPECT_EQ(state(), std::pair(false, std::int64_t(2000)));
    files->answer(u"next.wav"_s);
    // A fire meanwhile streams it from its file; the next open prepares it again.
    const VoiceHandle voice = engine->play(unprepared);
    playOut(voice);
    EXPECT_EQ(Fixtures::firstDifference(device->captured(), Fixtures::decodeAll(next)), -1);
    engine->openCart(next);
    engine->waitForBackgroundWork();
    EXPECT_EQ(state(), std::pair(true, std::int64_t(2000)));
    EXPECT_EQ(engine->underruns(), 0u);
}

// A file that stops answering never holds an open: while the check of a deleted cart file
// waits on it, the open returns the cart held; the new file is measured at the next open.
TEST_F(FileFaultTest, AnOpenNeverWaitsForTheCheckOfItsFile) {
    const QString path = wav(u"id.wav"_s, 1500);
    const std::shared_ptr<Cart> held = load(path);
    QSignalSpy changed(engine.get(), &AudioEngine::cartChanged);
    files->hold(u"id.wav"_s);
    ASSERT_TRUE(QFile::remove(path));
    QCoreApplication::processEvents();
    files->waitUntilHeld(u"id.wav"_s);
    EXPECT_EQ(engine->openCart(path), held);
    wav(u"id.wav"_s, 1000);
    files->answer(u"id.wav"_s);
    engine->waitForMeasurements();
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(held->fileState(), Cart::FileState::Replaced);
    EXPECT_EQ(engine->openCart(path), held);
    engine->waitForMeasurements();
    EXPECT_EQ(engine->openCart(path)->lengthMs(), 1000);
}

// The follower's file stops answering just before the cart on air is fired: the cart on air
// plays whole without a gap, and the follower plays once its file answers.
TEST_F(FileFaultTest, TheCartOnAirKeepsItsRefillsWhileAnotherFileHangs) {
    const QString onAir = wav(u"on air.wav"_s, 12000);
    const QString next = wav(u"next.wav"_s, 8000);
    load(onAir);
    load(next);
    files->hold(u"next.wav"_s);
    const VoiceHandle voice = engine->play(engine->openCart(onAir));
    ASSERT_TRUE(engine->arm(voice, engine->openCart(next)));
    files->waitUntilHeld(u"next.wav"_s);
    playOut(voice);
    std::vector<float> expected = Fixtures::decodeAll(onAir);
    EXPECT_EQ(Fixtures::firstDifference(device->captured(), expected), -1);
    EXPECT_EQ(engine->underruns(), 0u);
    // The follower's head is in memory; the rest follows once its file answers.
    files->answer(u"next.wav"_s);
    const VoiceHandle follower = engine->handedOver(voice);
    playOut(follower);
    const std::vector<float> second = Fixtures::decodeAll(next);
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(Fixtures::firstDifference(device->captured(), expected), -1);
}

// The cart on air's own file stops answering past its buffer: the engine says so once, the
// play runs on from where it stopped once the file answers (said too); the end never waits.
TEST_F(FileFaultTest, AStalledCartIsReportedAndPlaysOnWhenItsFileAnswers) {
    const QString onAir = wav(u"on air.wav"_s, 16000);
    load(onAir);
    QSignalSpy stalled(engine.get(), &AudioEngine::fileStalled);
    auto* stallTimer = engine->findChild<QTimer*>(u"StallTimer"_s);
    ASSERT_TRUE(stallTimer);
    const VoiceHandle voice = engine->play(engine->openCart(onAir));
    device->renderPeriods(10);
    files->hold(u"on air.wav"_s);
    // Past the head, the ring and, once the reader waits, what it read ahead: silence.
    device->render((AudioEngine::kHeadSeconds + AudioEngine::kRingSeconds + 1) * kRate);
    files->waitUntilHeld(u"on air.wav"_s);
    device->render(kRate);
    for (int tick = 0; tick < 3; ++tick)
        QMetaObject::invokeMethod(stallTimer, "timeout");
    ASSERT_EQ(stalled.count(), 1);
    EXPECT_EQ(stalled.at(0).at(0).toString(), onAir);
    EXPECT_TRUE(engine->isRunning(voice));
    // Once it answers, the next check says so (and the status line's text goes).
    QSignalSpy answered(engine.get(), &AudioEngine::fileAnswered);
    files->answer(u"on air.wav"_s);
    device->renderPeriods(10);
    QMetaObject::invokeMethod(stallTimer, "timeout");
    EXPECT_EQ(answered.count(), 1);
    EXPECT_EQ(stalled.count(), 1);
    playOut(voice);
    EXPECT_EQ(Fixtures::firstDifference(withoutSilence(device->captured()),
                                        withoutSilence(Fixtures::decodeAll(onAir))),
              -1);

    // A play whose file hangs as the program ends: the end does not wait for it, and the
    // reader left behind lets go of everything once the file answers.
    files->hold(u"on air.wav"_s);
    const VoiceHandle hung = engine->play(engine->openCart(onAir));
    device->renderPeriods(1);
    files->waitUntilHeld(u"on air.wav"_s);
    engine->release(hung);
    engine.reset();
    files->answer(u"on air.wav"_s);
    files->waitUntilAllClosed();
}

} // namespace
