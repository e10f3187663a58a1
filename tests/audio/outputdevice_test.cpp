#include "audio/audioengine.h"
#include "audio/defaultoutput.h"
#include "audio/dropoutcounter.h"
#include "audio/manualdevice.h"
#include "audio/nulldevice.h"
#include "audio/portaudiodevice.h"
#include "audio/supervisedoutput.h"
#include "decks/mcidevice.h"
#include "fixtures.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Points ALSA at a configuration of the test's own until the guard goes.
auto useAlsaConfig(const QString& dir, const QByteArray& text) {
    qputenv("ALSA_CONFIG_PATH", QFile::encodeName(Fixtures::file(dir, u"asound.conf"_s, text)));
    return qScopeGuard([] { qunsetenv("ALSA_CONFIG_PATH"); });
}

// The retry timer's shot, and what the worker opened.
void attempt(SupervisedOutput& output) {
    output.reopen();
    output.waitForWorker();
    QCoreApplication::sendPostedEvents(&output);
}

// Fires the file as a deck does once the preview has prepared it.
void fire(AudioEngine& engine, MciDevice& player, const QString& file) {
    player.setFileName(file);
    for (const QString& command : {u"Open"_s, u"Close"_s, u"Open"_s, u"Play"_s}) {
        player.Command(command);
        engine.waitForBackgroundWork();
    }
}
bool stops(MciDevice& player) {
    return QTest::qWaitFor([&] { return player.Mode() == MciDevice::kModeStopped; }, 30000);
}

TEST(PortAudioOutput, PlaysACartThroughAlsaIntoItsFilePcm) {
    QTemporaryDir dir;
    const QString capture = dir.filePath(u"capture.raw"_s);
    const auto config =
        useAlsaConfig(dir.path(), "pcm.!default { type file slave.pcm \"discard\" file \"" +
                                      QFile::encodeName(capture) +
                                      "\" format \"raw\" }\npcm.discard { type null }\n");
    QString error;
    auto device = PortAudioDevice::open({}, 48000, &error);
    ASSERT_TRUE(device) << error.toStdString();
    EXPECT_GT(device->latencyFrames(), 0);

    const QString file = Fixtures::wav(dir.path(), u"id.wav"_s, 700);
    {
        AudioEngine engine(std::move(device));
        MciDevice player(engine);
        fire(engine, player, file);
        ASSERT_TRUE(stops(player));
        EXPECT_EQ(player.Position(), 700);
    } // closing the device closes the file

    const QByteArray bytes = Fixtures::bytes(capture);
    std::vector<float> captured(static_cast<std::size_t>(bytes.size()) / sizeof(float));
    std::memcpy(captured.data(), bytes.constData(), captured.size() * sizeof(float));

    // The capture is silence, the cart sample for sample, silence.
    const std::vector<float> cart = Fixtures::decodeAll(file);
    const auto firstHeard = [](const std::vector<float>& v) {
        return std::find_if(v.begin(), v.end(), [](float s) { return s != 0.0f; }) - v.begin();
    };
    const auto offset = firstHeard(captured) - firstHeard(cart);
    ASSERT_TRUE(offset >= 0 && offset % 2 == 0);
    ASSERT_GE(captured.size(), static_cast<std::size_t>(offset) + cart.size());
    EXPECT_TRUE(std::equal(cart.begin(), cart.end(), captured.begin() + offset));
    EXPECT_TRUE(std::all_of(captured.begin() + offset + static_cast<std::ptrdiff_t>(cart.size()),
                            captured.end(), [](float s) { return s == 0.0f; }));
}

TEST(PortAudioOutput, WithoutADeviceCartsPlayOnTheClockAfterOneQuietWarning) {
    QTemporaryDir dir;
    // A default that names a missing card, and a device that complains when probed.
    const auto config = useAlsaConfig(
        dir.path(), "pcm.!default { type hw card 7 }\n"
                    "pcm.broken { type file slave.pcm \"nothing\" file \"/nonexistent/x\" }\n");
    const QByteArray errPath = QFile::encodeName(dir.filePath(u"stderr.txt"_s));
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    const int fd = ::open(errPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(fd, STDERR_FILENO);
    ::close(fd);
    // Another thread prints numbered lines all the while: the libraries are silenced without
    // taking stderr from it.
    std::atomic<bool> opening{true};
    int printed = 0;
    std::thread printer([&] {
        for (; opening.load() && printed < 100000; ++printed)
            std::fprintf(stderr, "line %d\n", printed);
    });
    DefaultOutput output = openDefaultOutput();
    opening.store(false);
    printer.join();
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    EXPECT_EQ(output.warning, u"No audio output device: carts will not be heard."_s);
    // Every line of the other thread in order, one line of ours, no enumeration noise.
    QByteArrayList ours;
    int next = 0;
    for (const QByteArray& line : Fixtures::bytes(QFile::decodeName(errPath)).split('\n')) {
        if (line == "line " + QByteArray::number(next))
            ++next;
        else if (!line.isEmpty())
            ours << line;
    }
    EXPECT_EQ(next, printed);
    ASSERT_EQ(ours.size(), 1) << ours.join('\n').data();
    EXPECT_TRUE(ours[0].startsWith("No audio output device: carts will not be heard."));
    // The silent output, which plays carts on the clock (see below).
    EXPECT_NE(dynamic_cast<NullDevice*>(output.device.get()), nullptr);
}

// The output the station named is awaited on the silent output, never replaced by the
// default one, and opened once it appears.
TEST(PortAudioOutput, ANamedOutputIsAwaitedAndOpenedOnceItAppears) {
    QTemporaryDir dir;
    const auto filePcm = [&dir](const QByteArray& name, const QString& file) {
        return "pcm." + name + " { type file slave.pcm \"discard\" file \"" +
               QFile::encodeName(dir.filePath(file)) + "\" format \"raw\" }\n";
    };
    const QByteArray defaultOnly = filePcm("!default", u"d.raw"_s) + "pcm.discard { type null }\n";
    const auto config = useAlsaConfig(dir.path(), defaultOnly);
    DefaultOutput output = openDefaultOutput({u"studio"_s});
    ASSERT_NE(output.supervised, nullptr);
    SupervisedOutput& watched = *output.supervised;
    AudioEngine engine(std::move(output.device));
    EXPECT_EQ(watched.warning(),
              u"Audio output 'studio' is not there: carts will not be heard until it appears."_s);
    attempt(watched);
    EXPECT_TRUE(watched.isLost());

    Fixtures::file(dir.path(), u"asound.conf"_s, defaultOnly + filePcm("studio", u"s.raw"_s));
    attempt(watched);
    EXPECT_FALSE(watched.isLost());
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(u"s.raw"_s)));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(u"d.raw"_s)));
}

// The silent output rests with nothing to play; a play and a restart after a stop wake it.
TEST(OutputDevice, TheSilentOutputRestsWhileNothingPlays) {
    QTemporaryDir dir;
    auto owned = std::make_unique<NullDevice>();
    NullDevice& device = *owned;
    AudioEngine engine(std::move(owned));
    MciDevice player(engine);
    const auto rests = [&device] {
        return QTest::qWaitFor([&] { return device.isResting(); });
    };
    ASSERT_TRUE(rests());
    fire(engine, player, Fixtures::wav(dir.path(), u"bed.wav"_s, 300));
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.Position() >= 100; }));
    player.Command(u"Stop"_s);
    ASSERT_TRUE(rests());
    player.Command(u"Play"_s);
    ASSERT_TRUE(stops(player));
    EXPECT_EQ(player.Position(), 300);
    EXPECT_TRUE(rests());
}

// The exit waits for the close of a lost device, but not without limit: a close that hangs
// (a device gone mid-call) is left behind on the worker, and ends there later.
TEST(OutputDevice, TheExitLeavesAHungCloseBehind) {
    struct HangingDevice : ManualDevice {
        explicit HangingDevice(std::shared_ptr<std::atomic<int>> state) : state(std::move(state)) {}
        ~HangingDevice() override {
            state->wait(0); // until the test lets go
            state->store(2);
            state->notify_all();
        }
        bool hasFailed() const override { return true; }
        std::shared_ptr<std::atomic<int>> state; // 0 hung, 1 let go, 2 closed
    };
    const auto state = std::make_shared<std::atomic<int>>(0);
    auto owned = std::make_unique<SupervisedOutput>(std::make_unique<HangingDevice>(state),
                                                    std::make_unique<NullDevice>(),
                                                    [](QString*) { return nullptr; });
    SupervisedOutput& output = *owned;
    {
        AudioEngine engine(std::move(owned));
        output.checkDevice();
        ASSERT_TRUE(output.isLost());
    }
    EXPECT_EQ(state->load(), 0);
    state->store(1);
    state->notify_all();
    state->wait(1);
}

// Dropouts are what the listener missed: the frames a device's callbacks took against the
// clock, sampled by the watchdog every 250 ms (every 47 periods of 256 frames at 48 kHz).
TEST(OutputDevice, DropoutsAreTheFramesTakenAgainstTheClock) {
    constexpr std::int64_t kPeriodNs = 1'000'000'000LL * 256 / 48000;
    DropoutCounter counter(48000, 256);
    std::int64_t at = 0;
    std::uint64_t taken = 0;
    // A callback `periods` after the last, taking `count` periods.
    const auto call = [&](double periods, int count = 1) {
        at += std::llround(periods * kPeriodNs);
        taken += 256u * count;
    };
    // Seconds of callbacks (clock > 1: the device's clock is slower), then {dropouts, frames}.
    const auto play = [&](int seconds, double clock = 1.0) {
        for (int t = 0; t < 4 * seconds; ++t, counter.sample(at, taken))
            for (int i = 0; i < 47; ++i)
                call(clock);
        return std::pair<int, int>(counter.dropouts(), counter.missingFrames());
    };
    EXPECT_EQ(play(600, 1.0001), std::pair(0, 0)); // 100 ppm slow for ten minutes
    // Late, then catching up: a callback seen late by 0.9 period, the next at once; a
    // callback a period late that takes two periods.
    call(1.9);
    counter.sample(at, taken);
    call(0.1);
    play(1);
    call(2, 2);
    EXPECT_EQ(play(1), std::pair(0, 0));
    // A period skipped (a JACK cycle missed), and a stall of 100 ms the device came back from.
    call(2);
    EXPECT_EQ(play(1), std::pair(1, 256));
    call(1 + 4800.0 / 256);
    EXPECT_EQ(play(1), std::pair(2, 256 + 4800));
    // A loss: the device is opened again seconds later, and nothing of it is a dropout.
    counter.restart(256);
    at += 5'000'000'000LL;
    EXPECT_EQ(play(2), std::pair(2, 256 + 4800));
}

// New underruns reach the terminal once; a quiet second prints nothing.
TEST(OutputDevice, UnderrunsAreReportedOncePerBurst) {
    struct LateDevice : ManualDevice {
        std::uint64_t late = 0;
        std::uint64_t deviceUnderruns() const override { return late; }
    };
    auto* device = new LateDevice; // owned by the engine
    AudioEngine engine{std::unique_ptr<OutputDevice>(device)};
    EXPECT_EQ(engine.takeUnderrunReport(), u""_s);
    device->late = 3;
    EXPECT_EQ(engine.takeUnderrunReport(), u"Audio underruns: 0 periods short of decoded audio, "
                                           u"3 periods late on the output device."_s);
    EXPECT_EQ(engine.takeUnderrunReport(), u""_s);
    device->late = 5;
    EXPECT_TRUE(engine.takeUnderrunReport().contains(u"2 periods late"_s));
}

} // namespace
