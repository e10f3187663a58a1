#include "audio/audioengine.h"
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

using namespace Qt::StringLiterals;

namespace {

constexpr int kRate = 48000;
constexpr int kPeriod = 256;
constexpr int kPlaying = MciDevice::kModePlaying;
constexpr int kStopped = MciDevice::kModeStopped;
constexpr int kNotOpen = MciDevice::kModeNotOpen;

class MciDeviceTest : public ::testing::Test {
protected:
    MciDeviceTest()
        : device(new ManualDevice(kRate, kPeriod)), engine(std::unique_ptr<OutputDevice>(device)),
          player(engine), preview(engine) {}

    // The deck player's open sequence, less the settings that change nothing; a file that
    // is being measured is opened again once its measurement is reported.
    void open(MciDevice& mci, const QString& file) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            mci.Command(u"Close"_s);
            mci.setNotify(true);
            mci.setFileName(file);
            for (const QString& command : {u"Open"_s, u"Back"_s, u"Stop"_s})
                mci.Command(command);
            if (mci.Mode() != MciDevice::kModeNotReady)
                break;
            engine.waitForMeasurements();
        }
    }
    void open(const QString& file) { open(player, file); }
    void play() { player.Command(u"Play"_s); }
    std::pair<int, qint32> state() const { return {player.Mode(), player.Position()}; }

    // What loading a cart into a deck does: measure on the preview, which prepares it.
    void load(const QString& file) {
        open(preview, file);
        preview.Command(u"Close"_s);
        engine.waitForBackgroundWork();
    }

    // Renders until the player stops playing; returns the frames rendered.
    long playOut(long limitFrames = 20L * kRate) {
        long rendered = 0;
        for (; player.Mode() == kPlaying && rendered < limitFrames; rendered += kPeriod)
            device->renderPeriods(1);
        return rendered;
    }

    QString wav(const QString& name, int ms) { return Fixtures::wav(tmp, name, ms); }

    QTemporaryDir dir;
    const QString tmp = dir.path();
    ManualDevice* device; // owned by the engine
    AudioEngine engine;
    MciDevice player;
    MciDevice preview;
};

TEST_F(MciDeviceTest, EveryCartPlaysItsDecodedFramesAndABadOneNeverPlays) {
    QDir(tmp).mkdir(u"folder.mp3"_s);
    const QByteArray mp3Bytes = Fixtures::bytes(Fixtures::mp3(tmp, u"whole.mp3"_s, 3000));
    // Carts that stream after their head, whose head and ring's first fill are decoded by the
    // time the file changes; short carts live whole in memory.
    const int decoded = AudioEngine::kHeadSeconds + AudioEngine::kRingSeconds;
    QDir(tmp).mkdir(u"carts"_s);
    const QString psa = Fixtures::wav(tmp + u"/carts"_s, u"psa.wav"_s, (decoded + 4) * 1000);
    const QString news = wav(u"news.wav"_s, (decoded + 4) * 1000);
    const QString cold = Fixtures::mp3(tmp, u"cold.mp3"_s, decoded * 1000); // not loaded first
    struct Case {
        QString file;
        bool decodes;
        int mode = kStopped; // after Open and once played out
    };
    const Case cases[] = {
        {wav(u"short.wav"_s, 900), true},
        {Fixtures::mp3(tmp, u"long.mp3"_s, decoded * 1000, Fixtures::Mp3Kind::VbrXing), true},
        {Fixtures::mpg(tmp, u"spot.mpg"_s, 1200, true), true},
        {cold, true},
        {Fixtures::file(tmp, u"cut.mp3"_s, mp3Bytes.chopped(mp3Bytes.size() / 2 + 77)), true},
        {psa, true},
        {news, true},
        {wav(u"zero.wav"_s, 0), false},
        {tmp + u"/missing.wav"_s, false, kNotOpen},
        {Fixtures::file(tmp, u"empty.wav"_s, {}), false, kNotOpen},
        {Fixtures::file(tmp, u"text.wav"_s, "This is not a sound.\n"), false, kNotOpen},
        {Fixtures::file(tmp, u"header.mp3"_s, mp3Bytes.left(300)), false, kNotOpen},
        {tmp + u"/folder.mp3"_s, false, kNotOpen},
        {Fixtures::mpg(tmp, u"silent.mpg"_s, 1000, true, false), false, kNotOpen},
        {QString(), false, kNotOpen},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        std::vector<float> cart = Fixtures::decodeAll(c.file);
        ASSERT_EQ(!cart.empty(), c.decodes);
        if (c.file != cold)
            load(c.file);
        // Length is there right after Open: the decoded length, 0 when nothing decodes.
        open(c.file);
        EXPECT_NEAR(player.Length(), cart.size() / 2 * 1000.0 / kRate, c.decodes ? 1 : 0);
        EXPECT_EQ(state(), std::pair(c.mode, 0));
        device->clearCapture();
        play();
        EXPECT_EQ(player.Mode(), c.decodes ? kPlaying : c.mode);
        device->renderPeriods(10);
        // A folder that goes leaves its open file readable until it is closed; a file cut
        // while it plays ends where it was cut.
        if (c.file == psa) {
            ASSERT_TRUE(QDir(tmp + u"/carts"_s).removeRecursively());
        } else if (c.file == news) {
            ASSERT_TRUE(QFile::resize(news, 44 + 4LL * kRate * (decoded + 1)));
            cart.resize(2L * kRate * (decoded + 1));
        }
        playOut();
        device->renderPeriods(2);
        EXPECT_EQ(state(), std::pair(c.mode, player.Length()));
        // The play corrected the cart's length; the open device keeps the one it opened with.
        if (c.decodes) {
            EXPECT_NEAR(player.cart()->lengthMs(), cart.size() / 2 * 1000.0 / kRate, 1);
        }
        // The capture is the decoded cart from its first frame, then silence.
        cart.resize(std::max(cart.size(), device->captured().size()));
        EXPECT_EQ(Fixtures::firstDifference(device->captured(), cart), -1);
        EXPECT_EQ(engine.underruns(), 0u);
    }
}

TEST_F(MciDeviceTest, ModeAndPositionDescribeWhatIsHeardBehindTheLatency) {
    device->setLatencyFrames(1024);
    const QString file = wav(u"late.wav"_s, 500);
    load(file);
    open(file);
    play();
    // Frames rendered, heard: 512, 0; 2048, 1024; 24 832, 23 808; the last of the 24 000 is
    // rendered in period 94 and heard in period 98.
    for (const auto& [periods, mode, ms] :
         {std::tuple{2, kPlaying, 0}, {6, kPlaying, 21}, {89, kPlaying, 496}, {1, kStopped, 500}}) {
        device->renderPeriods(periods);
        EXPECT_EQ(state(), std::pair(mode, ms)) << periods;
    }
}

// The countdown's notices: from the open on, every interval (a new one applies at once).
TEST_F(MciDeviceTest, StatusUpdateRunsEveryIntervalWhileOpen) {
    player.setUpdateInterval(100);
    auto* timer = player.findChild<QTimer*>(u"StatusUpdateTimer"_s);
    ASSERT_TRUE(timer && !timer->isActive());
    QSignalSpy updates(&player, &MciDevice::StatusUpdate);
    const QString file = wav(u"status.wav"_s, 300);
    load(file);
    open(file);
    EXPECT_EQ(std::pair(timer->isActive(), timer->interval()), std::pair(true, 100));
    player.setUpdateInterval(250);
    QMetaObject::invokeMethod(timer, "timeout");
    EXPECT_EQ(std::pair(timer->interval(), int(updates.count())), std::pair(250, 1));
    player.Command(u"Close"_s);
    EXPECT_FALSE(timer->isActive());
}

TEST_F(MciDeviceTest, TheCacheKeepsTheMostRecentlyOpenedCarts) {
    const int capacity = CartCache::kCacheCapacity;
    QStringList files;
    for (int i = 0; i <= capacity; ++i)
        load(files.emplace_back(wav(u"c%1.wav"_s.arg(i), 10 + i)));
    // With the files gone, only what the cache holds still opens; the oldest was dropped.
    for (const QString& file : files)
        ASSERT_TRUE(QFile::remove(file));
    for (const auto& [i, ms] : {std::pair{capacity, 10 + capacity}, {1, 11}, {0, 0}}) {
        open(files.at(i));
        EXPECT_EQ(player.Length(), ms) << i;
    }
    // The checks those opens started find the files gone: the next open measures again.
    engine.waitForBackgroundWork();
    open(files.at(1));
    EXPECT_EQ(std::tuple(player.Mode(), player.Position(), player.Length()),
              std::tuple(kNotOpen, 0, 0));
}

// MP3s that the packet scan mismeasures: bit errors, junk in front, a change of rate and
// channels part-way. The full decode in the background corrects the cart's length, tells
// the media controls, and the next open gives the length that plays.
TEST_F(MciDeviceTest, TheBackgroundDecodeCorrectsTheLengthOfDamagedAndJoinedMp3s) {
    const QByteArray cleanBytes = Fixtures::bytes(Fixtures::mp3(tmp, u"clean.mp3"_s, 12000));
    QByteArray damaged = cleanBytes;
    for (qsizetype at = 4000; at < damaged.size(); at += 211) // bit errors at fixed places
        damaged[at] = char(damaged[at] ^ 0xff);
    QByteArray junk(200000, '\0');
    for (qsizetype i = 0; i < junk.size(); ++i) // the same noise every run
        junk[i] = char((i * 1103515245 + 12345) >> 16);
    const QString stereo = Fixtures::mp3(tmp, u"a.mp3"_s, 7000, Fixtures::Mp3Kind::Cbr, 44100);
    const QString mono = tmp + u"/b.mp3"_s;
    ASSERT_TRUE(
        Fixtures::run(u"lame"_s, {u"--quiet"_s, u"-m"_s, u"m"_s, wav(u"b.wav"_s, 6000), mono}));

    QSignalSpy changed(&preview, &MciDevice::CartChanged);
    for (const QString& file :
         {Fixtures::file(tmp, u"damaged.mp3"_s, damaged),
          Fixtures::file(tmp, u"junk.mp3"_s, junk + cleanBytes),
          Fixtures::file(tmp, u"joined.mp3"_s, Fixtures::bytes(stereo) + Fixtures::bytes(mono))}) {
        SCOPED_TRACE(file.toStdString());
        load(file); // waits for the full decode too
        QCoreApplication::sendPostedEvents();
        open(preview, file);
        EXPECT_NEAR(preview.Length(), Fixtures::decodeAll(file).size() / 2 * 1000.0 / kRate, 20);
        // What plays ends where the length says.
        open(file);
        play();
        const long frames = playOut(30L * kRate);
        EXPECT_NEAR(frames * 1000.0 / kRate, player.Length(), 20);
        EXPECT_EQ(player.cart()->lengthMs(), player.Length());
    }
    EXPECT_GE(changed.count(), 3 + 2); // each file measured, two lengths corrected
}

} // namespace

// A streamed cart (longer than its prepared head) hands over to the armed cart frame-exact;
// "Play" of that cart then takes up the running play, counted from the handover.
TEST_F(MciDeviceTest, TheArmedCartFollowsOnTheNextFrameAndStaleHandlesReachNothing) {
    const QString first = Fixtures::mp3(tmp, u"long.mp3"_s, 6000, Fixtures::Mp3Kind::VbrNoHeader);
    const QString next = wav(u"next.wav"_s, 500);
    load(first);
    load(next);
    device->setLatencyFrames(2 * kPeriod);
    open(first);
    play();
    player.ArmNext(next);
    playOut();
    open(next);
    play();
    device->renderPeriods(10);
    std::vector<float> both = Fixtures::decodeAll(first);
    const long join = long(both.size() / 2);
    const std::vector<float> second = Fixtures::decodeAll(next);
    both.insert(both.end(), second.begin(), second.end());
    ASSERT_GT(device->captured().size(), std::size_t(join + 10 * kPeriod) * 2);
    EXPECT_EQ(Fixtures::firstDifference(both, device->captured()), -1);
    const long heard = long(device->captured().size() / 2) - join - device->latencyFrames();
    EXPECT_EQ(state(), std::make_pair(kPlaying, qint32(heard * 1000 / kRate)));
}
