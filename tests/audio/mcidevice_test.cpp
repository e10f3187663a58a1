#include "audio/audioengine.h"
#include "audio/decoder.h"
#include "audio/manualdevice.h"
#include "decks/mcidevice.h"
#include "fixtures.h"

#include <QCoreApplication>
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

constexpr int kRate = 48000;
constexpr int kPeriod = 256;

class MciDeviceTest : public ::testing::Test {
protected:
    MciDeviceTest()
        : device(new ManualDevice(kRate, kPeriod)), engine(std::unique_ptr<OutputDevice>(device)),
          player(engine), preview(engine) {}

    // The open sequence of the deck player.
    static void open(MciDevice& mci, const QString& file) {
        mci.Command(QStringLiteral("Close"));
        mci.setTimeFormat(0);
        mci.setNotify(true);
        mci.setWait(false);
        mci.setShareable(false);
        mci.setDeviceType(QStringLiteral("WaveAudio"));
        mci.setFileName(file);
        mci.Command(QStringLiteral("Open"));
        mci.Command(QStringLiteral("Back"));
        mci.Command(QStringLiteral("Stop"));
    }

    // What loading a cart into a deck does: measure on the preview, which prepares it.
    qint32 load(const QString& file) {
        open(preview, file);
        const qint32 length = preview.Length();
        preview.Command(QStringLiteral("Close"));
        engine.waitForBackgroundWork();
        return length;
    }

    // Renders until the player stops playing; returns the frames rendered.
    long playOut(long limitFrames) {
        long rendered = 0;
        while (player.Mode() == MciDevice::kModePlaying && rendered < limitFrames) {
            device->renderPeriods(1);
            rendered += kPeriod;
        }
        return rendered;
    }

    QString dirPath() const { return dir.path(); }

    QTemporaryDir dir;
    ManualDevice* device; // owned by the engine
    AudioEngine engine;
    MciDevice player;
    MciDevice preview;
};

bool isSilent(const std::vector<float>& samples, std::size_t from) {
    return std::all_of(samples.begin() + static_cast<std::ptrdiff_t>(from), samples.end(),
                       [](float s) { return s == 0.0f; });
}

// The capture holds the decoded cart from its first frame, then silence.
void expectCaptureIsCart(const std::vector<float>& captured, const std::vector<float>& cart) {
    ASSERT_GE(captured.size(), cart.size());
    const auto mismatch = std::mismatch(cart.begin(), cart.end(), captured.begin());
    EXPECT_EQ(mismatch.first, cart.end())
        << "first difference at frame " << (mismatch.first - cart.begin()) / 2;
    EXPECT_TRUE(isSilent(captured, cart.size()));
}

TEST_F(MciDeviceTest, LengthIsKnownRightAfterOpenAndNothingPlaysYet) {
    const QString file = Fixtures::mp3(dirPath(), QStringLiteral("id.mp3"), 1800);
    open(preview, file);
    EXPECT_EQ(preview.Length(), Decoder::measure(file).milliseconds());
    EXPECT_NEAR(preview.Length(), 1800, 1);
    EXPECT_EQ(preview.Mode(), MciDevice::kModeStopped);
    EXPECT_EQ(preview.Position(), 0);
    EXPECT_EQ(preview.FileName(), file);
    preview.Command(QStringLiteral("Close"));
    EXPECT_EQ(preview.Mode(), MciDevice::kModeNotOpen);
    EXPECT_EQ(preview.Length(), 0);
}

TEST_F(MciDeviceTest, PreparedCartsPlayTheirDecodedFramesExactly) {
    // Short carts live whole in memory; the long ones stream after their head.
    const QStringList files = {
        Fixtures::wav(dirPath(), QStringLiteral("short.wav"), 900),
        Fixtures::wav(dirPath(), QStringLiteral("long.wav"),
                      (AudioEngine::kHeadSeconds + 2) * 1000),
        Fixtures::mp3(dirPath(), QStringLiteral("long.mp3"), (AudioEngine::kHeadSeconds + 1) * 1000,
                      Fixtures::Mp3Kind::VbrXing),
        Fixtures::mpg(dirPath(), QStringLiteral("spot.mpg"), 1200, true),
    };
    for (const QString& file : files) {
        SCOPED_TRACE(file.toStdString());
        const qint32 length = load(file);
        open(player, file);
        EXPECT_EQ(player.Length(), length);
        device->clearCapture();
        player.Command(QStringLiteral("Play"));
        EXPECT_EQ(player.Mode(), MciDevice::kModePlaying);
        playOut(10L * kRate * 60);
        device->renderPeriods(2);
        expectCaptureIsCart(device->captured(), Fixtures::decodeAll(file));
        EXPECT_EQ(player.Mode(), MciDevice::kModeStopped);
        EXPECT_EQ(player.Position(), player.Length());
        EXPECT_EQ(engine.underruns(), 0u);
    }
}

TEST_F(MciDeviceTest, UnpreparedCartPlaysTheSameFrames) {
    const QString file = Fixtures::mp3(dirPath(), QStringLiteral("cold.mp3"),
                                       (AudioEngine::kHeadSeconds + 1) * 1000);
    open(player, file);
    player.Command(QStringLiteral("Play"));
    playOut(10L * kRate * 60);
    expectCaptureIsCart(device->captured(), Fixtures::decodeAll(file));
    EXPECT_EQ(player.Mode(), MciDevice::kModeStopped);
}

TEST_F(MciDeviceTest, ModeAndPositionFollowOpenPlayEndStopCloseAndReopen) {
    const QString file = Fixtures::wav(dirPath(), QStringLiteral("bed.wav"), 1000);
    load(file);
    open(player, file);
    EXPECT_EQ(player.Mode(), MciDevice::kModeStopped);
    player.Command(QStringLiteral("Play"));
    EXPECT_EQ(player.Mode(), MciDevice::kModePlaying);
    EXPECT_EQ(player.Position(), 0);

    // Position counts the frames rendered: 100 periods of 256 frames at 48 kHz.
    device->renderPeriods(100);
    EXPECT_EQ(player.Mode(), MciDevice::kModePlaying);
    EXPECT_EQ(player.Position(), 100 * kPeriod * 1000 / kRate);

    // To the end, and past it: stopped at the full length.
    const long rendered = playOut(kRate);
    EXPECT_EQ(100 * kPeriod + rendered, 48128); // 48 000 frames, in whole periods
    EXPECT_EQ(player.Mode(), MciDevice::kModeStopped);
    EXPECT_EQ(player.Position(), 1000);
    device->renderPeriods(10);
    EXPECT_EQ(player.Mode(), MciDevice::kModeStopped);

    // Played again from the start.
    player.Command(QStringLiteral("Play"));
    EXPECT_EQ(player.Mode(), MciDevice::kModePlaying);
    device->renderPeriods(10);
    EXPECT_EQ(player.Position(), 10 * kPeriod * 1000 / kRate);
    player.Command(QStringLiteral("Stop"));
    EXPECT_EQ(player.Mode(), MciDevice::kModeStopped);

    player.Command(QStringLiteral("Close"));
    EXPECT_EQ(player.Mode(), MciDevice::kModeNotOpen);
    EXPECT_EQ(player.Position(), 0);
    device->renderPeriods(4);
    EXPECT_NE(player.Mode(), MciDevice::kModePlaying);

    open(player, file);
    EXPECT_EQ(player.Mode(), MciDevice::kModeStopped);
    EXPECT_EQ(player.Position(), 0);
    EXPECT_EQ(player.Length(), 1000);
}

TEST_F(MciDeviceTest, StopSilencesAndHoldsThePositionAndPlayGoesOn) {
    const QString file = Fixtures::wav(dirPath(), QStringLiteral("spot.wav"), 2000);
    load(file);
    open(player, file);
    player.Command(QStringLiteral("Play"));
    device->renderPeriods(40);
    player.Command(QStringLiteral("Stop"));
    device->renderPeriods(1); // the fade out
    const qint32 stoppedAt = player.Position();
    EXPECT_NEAR(stoppedAt, 40 * kPeriod * 1000 / kRate, 3);
    device->clearCapture();
    device->renderPeriods(20);
    EXPECT_TRUE(isSilent(device->captured(), 0));
    EXPECT_EQ(player.Position(), stoppedAt);
    EXPECT_EQ(player.Mode(), MciDevice::kModeStopped);

    player.Command(QStringLiteral("Play"));
    EXPECT_EQ(player.Mode(), MciDevice::kModePlaying);
    device->renderPeriods(10);
    EXPECT_GT(player.Position(), stoppedAt);
    EXPECT_FALSE(isSilent(device->captured(), device->captured().size() - kPeriod * 2));
}

TEST_F(MciDeviceTest, CloseCutsThePlayingCartWithinOnePeriod) {
    const QString file = Fixtures::wav(dirPath(), QStringLiteral("news.wav"), 3000);
    load(file);
    open(player, file);
    player.Command(QStringLiteral("Play"));
    device->renderPeriods(20);
    device->clearCapture();
    player.Command(QStringLiteral("Close"));
    device->renderPeriods(1);
    // The first period fades out within a few milliseconds and is silent after that.
    const std::vector<float> fade = device->captured();
    EXPECT_FALSE(isSilent(fade, 0));
    EXPECT_TRUE(isSilent(fade, 5 * kRate / 1000 * 2));
    device->clearCapture();
    device->renderPeriods(20);
    EXPECT_TRUE(isSilent(device->captured(), 0));
}

TEST_F(MciDeviceTest, FiringAnotherCartCutsTheFirst) {
    const QString first = Fixtures::wav(dirPath(), QStringLiteral("one.wav"), 3000);
    const QString second = Fixtures::wav(dirPath(), QStringLiteral("two.wav"), 500, 24000);
    load(first);
    load(second);
    open(player, first);
    player.Command(QStringLiteral("Play"));
    device->renderPeriods(20);
    open(player, second); // closes the first
    player.Command(QStringLiteral("Play"));
    device->clearCapture();
    playOut(kRate);
    const std::vector<float> cart = Fixtures::decodeAll(second);
    // The first period holds the fade of the first cart mixed in; the rest is the second only.
    const std::size_t from = 2 * kPeriod;
    ASSERT_GE(device->captured().size(), cart.size());
    EXPECT_TRUE(std::equal(cart.begin() + from, cart.end(), device->captured().begin() + from));
    EXPECT_EQ(player.Mode(), MciDevice::kModeStopped);
}

TEST_F(MciDeviceTest, ModeAndPositionDescribeWhatIsHeardBehindTheLatency) {
    device->setLatencyFrames(1024);
    const QString file = Fixtures::wav(dirPath(), QStringLiteral("late.wav"), 500);
    load(file);
    open(player, file);
    player.Command(QStringLiteral("Play"));
    device->renderPeriods(2); // 512 frames rendered, none heard yet
    EXPECT_EQ(player.Position(), 0);
    device->renderPeriods(6); // 2048 rendered, 1024 heard
    EXPECT_EQ(player.Position(), 1024 * 1000 / kRate);
    // 24 000 frames: the last is rendered in period 94 and heard 1024 frames later, in
    // period 98.
    device->renderPeriods(86);
    EXPECT_EQ(player.Mode(), MciDevice::kModePlaying);
    device->renderPeriods(3);
    EXPECT_EQ(player.Mode(), MciDevice::kModePlaying);
    EXPECT_LT(player.Position(), 500);
    device->renderPeriods(1);
    EXPECT_EQ(player.Mode(), MciDevice::kModeStopped);
    EXPECT_EQ(player.Position(), 500);
}

TEST_F(MciDeviceTest, StatusUpdateRunsEveryIntervalWhileOpen) {
    const QString file = Fixtures::wav(dirPath(), QStringLiteral("status.wav"), 300);
    player.setUpdateInterval(100);
    auto* timer = player.findChild<QTimer*>(QStringLiteral("StatusUpdateTimer"));
    ASSERT_NE(timer, nullptr);
    EXPECT_FALSE(timer->isActive());

    QSignalSpy updates(&player, &MciDevice::StatusUpdate);
    QSignalSpy done(&player, &MciDevice::Done);
    open(player, file);
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 100);
    QMetaObject::invokeMethod(timer, "timeout");
    EXPECT_EQ(updates.count(), 1);
    // Notify was set before "Open": that command, and only that one, reports Done.
    QCoreApplication::sendPostedEvents(&player);
    ASSERT_EQ(done.count(), 1);
    EXPECT_EQ(done.at(0).at(0).toInt(), 1);

    // Idle but open: it keeps coming. A new interval applies at once.
    player.setUpdateInterval(250);
    EXPECT_EQ(timer->interval(), 250);
    // A play with Notify set reports Done once it has played out.
    player.setNotify(true);
    player.Command(QStringLiteral("Play"));
    QCoreApplication::sendPostedEvents(&player);
    EXPECT_EQ(done.count(), 1);
    device->render(300 * kRate / 1000);
    QMetaObject::invokeMethod(timer, "timeout");
    ASSERT_EQ(done.count(), 2);
    EXPECT_EQ(done.at(1).at(0).toInt(), 1);
    EXPECT_EQ(updates.count(), 2);

    player.Command(QStringLiteral("Close"));
    EXPECT_FALSE(timer->isActive());
    QCoreApplication::sendPostedEvents(&player);
    EXPECT_EQ(done.count(), 2);
}

TEST_F(MciDeviceTest, BadFilesGiveNoLengthAndNeverPlay) {
    QDir(dirPath()).mkdir(QStringLiteral("folder.mp3"));
    const QString truncatedSource = Fixtures::mp3(dirPath(), QStringLiteral("whole.mp3"), 2000);
    QFile whole(truncatedSource);
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray mp3Bytes = whole.readAll();

    struct Case {
        QString file;
        bool opens; // a device that opens reads 525, one that cannot reads 0
    };
    const std::vector<Case> cases = {
        {dirPath() + QStringLiteral("/missing.wav"), false},
        {Fixtures::file(dirPath(), QStringLiteral("empty.wav"), {}), false},
        {Fixtures::file(dirPath(), QStringLiteral("text.wav"), "This is not a sound.\n"), false},
        {Fixtures::file(dirPath(), QStringLiteral("header.mp3"), mp3Bytes.left(300)), false},
        {dirPath() + QStringLiteral("/folder.mp3"), false},
        {Fixtures::videoOnlyMpg(dirPath(), QStringLiteral("silent.mpg"), 1000), false},
        {Fixtures::wav(dirPath(), QStringLiteral("zero.wav"), 0), true},
        {QString(), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        load(c.file);
        open(player, c.file);
        EXPECT_EQ(player.Length(), 0);
        EXPECT_EQ(player.Mode(), c.opens ? MciDevice::kModeStopped : MciDevice::kModeNotOpen);
        player.Command(QStringLiteral("Play"));
        EXPECT_NE(player.Mode(), MciDevice::kModePlaying);
        device->renderPeriods(4);
        EXPECT_NE(player.Mode(), MciDevice::kModePlaying);
        EXPECT_EQ(player.Position(), 0);
        player.Command(QStringLiteral("Close"));
    }
}

TEST_F(MciDeviceTest, TruncatedMp3PlaysItsDecodablePart) {
    const QString source = Fixtures::mp3(dirPath(), QStringLiteral("full.mp3"), 3000);
    QFile full(source);
    ASSERT_TRUE(full.open(QIODevice::ReadOnly));
    const QString file =
        Fixtures::file(dirPath(), QStringLiteral("cut.mp3"),
                       full.readAll().chopped(static_cast<int>(full.size() / 2) + 77));
    const std::vector<float> cart = Fixtures::decodeAll(file);
    ASSERT_FALSE(cart.empty());
    const qint32 length = load(file);
    EXPECT_NEAR(length, static_cast<double>(cart.size() / 2) * 1000 / kRate, 1);
    EXPECT_LT(length, 2000);
    open(player, file);
    player.Command(QStringLiteral("Play"));
    playOut(10L * kRate);
    expectCaptureIsCart(device->captured(), cart);
    EXPECT_EQ(player.Mode(), MciDevice::kModeStopped);
}

} // namespace

TEST_F(MciDeviceTest, APreparedCartOpensAndPlaysWithoutItsFile) {
    // Open and Play of a prepared cart read nothing from the disk: with the file gone the
    // cart still opens with its length and plays (a short cart lives whole in memory).
    const QString file = Fixtures::wav(dirPath(), QStringLiteral("jingle.wav"), 800);
    const std::vector<float> cart = Fixtures::decodeAll(file);
    load(file);
    ASSERT_TRUE(QFile::remove(file));
    open(player, file);
    EXPECT_EQ(player.Length(), 800);
    player.Command(QStringLiteral("Play"));
    playOut(kRate);
    expectCaptureIsCart(device->captured(), cart);

    // The cache notices the file is gone; the next open measures it again and finds nothing.
    engine.waitForBackgroundWork();
    open(player, file);
    EXPECT_EQ(player.Length(), 0);
    EXPECT_EQ(player.Mode(), MciDevice::kModeNotOpen);
}

TEST_F(MciDeviceTest, AFileDeletedWhilePlayingPlaysToItsEnd) {
    QDir(dirPath()).mkdir(QStringLiteral("carts"));
    const QString file =
        Fixtures::wav(dirPath() + QStringLiteral("/carts"), QStringLiteral("psa.wav"),
                      (AudioEngine::kHeadSeconds + 2) * 1000);
    const std::vector<float> cart = Fixtures::decodeAll(file);
    load(file);
    open(player, file);
    player.Command(QStringLiteral("Play"));
    device->renderPeriods(10);
    // The whole folder goes; the open file stays readable until it is closed.
    ASSERT_TRUE(QDir(dirPath() + QStringLiteral("/carts")).removeRecursively());
    playOut(20L * kRate);
    expectCaptureIsCart(device->captured(), cart);
    EXPECT_EQ(player.Mode(), MciDevice::kModeStopped);
}

TEST_F(MciDeviceTest, AFileTruncatedWhilePlayingEndsEarlyWithAnHonestLength) {
    const int seconds = AudioEngine::kHeadSeconds + AudioEngine::kRingSeconds + 4;
    const QString file = Fixtures::wav(dirPath(), QStringLiteral("long.wav"), seconds * 1000);
    load(file);
    open(player, file);
    player.Command(QStringLiteral("Play"));
    device->renderPeriods(10);
    // Cut after the head and the ring's first fill, which are already decoded.
    const qint64 keep =
        44 + 4LL * kRate * (AudioEngine::kHeadSeconds + AudioEngine::kRingSeconds + 1);
    ASSERT_TRUE(QFile::resize(file, keep));
    const long rendered = playOut(20L * kRate);
    EXPECT_EQ(player.Mode(), MciDevice::kModeStopped);
    EXPECT_LT(rendered, static_cast<long>(seconds) * kRate);
    EXPECT_EQ(player.Position(), player.Length());
    EXPECT_LT(player.Length(), seconds * 1000);
    EXPECT_GE(player.Length(), (AudioEngine::kHeadSeconds + AudioEngine::kRingSeconds) * 1000);
}

TEST_F(MciDeviceTest, AReplacedFileIsMeasuredAgainAtItsNextOpen) {
    const QString file = Fixtures::wav(dirPath(), QStringLiteral("promo.wav"), 1000);
    EXPECT_EQ(load(file), 1000);
    ASSERT_TRUE(QFile::remove(file));
    Fixtures::wav(dirPath(), QStringLiteral("promo.wav"), 2500);
    // The file watcher's notice arrives through the event loop.
    QCoreApplication::processEvents();
    EXPECT_EQ(load(file), 2500);
    // Unwatched (a network folder): the open after the change still finds the prepared
    // cart; the check it starts marks the cart stale, and the next open measures again.
    ASSERT_TRUE(QFile::remove(file));
    Fixtures::wav(dirPath(), QStringLiteral("promo.wav"), 1500);
    EXPECT_EQ(load(file), 2500);
    EXPECT_EQ(load(file), 1500);
    open(player, file);
    player.Command(QStringLiteral("Play"));
    playOut(10L * kRate);
    expectCaptureIsCart(device->captured(), Fixtures::decodeAll(file));
}

TEST_F(MciDeviceTest, TheCacheKeepsTheMostRecentlyOpenedCarts) {
    QStringList files;
    for (int i = 0; i <= AudioEngine::kCacheCapacity; ++i)
        files << Fixtures::wav(dirPath(), QStringLiteral("c%1.wav").arg(i), 10 + i);
    for (const QString& file : files)
        load(file);
    // With the files gone, only what the cache holds still opens.
    for (const QString& file : files)
        ASSERT_TRUE(QFile::remove(file));
    open(player, files.first());
    EXPECT_EQ(player.Length(), 0); // the oldest was dropped
    open(player, files.last());
    EXPECT_EQ(player.Length(), 10 + AudioEngine::kCacheCapacity);
    open(player, files.at(1));
    EXPECT_EQ(player.Length(), 11);
}
