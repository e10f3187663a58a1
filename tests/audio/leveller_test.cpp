#include "audio/leveller.h"
#include "decks/deckrig.h"

#include <QDir>
#include <QFileInfo>
#include <cmath>
#include <ebur128.h>
#include <sys/stat.h>

namespace {

// The integrated loudness of captured 48 kHz stereo frames.
double loudnessOf(const float* frames, std::size_t count) {
    ebur128_state* state = ebur128_init(2, 48000, EBUR128_MODE_I);
    ebur128_add_frames_float(state, frames, count);
    double lufs = NAN;
    ebur128_loudness_global(state, &lufs);
    ebur128_destroy(&state);
    return lufs;
}

} // namespace

// Levelling on the engine over the manual device. Loud.wav is the half-scale test tone,
// Quiet.wav the same 12 dB lower.
class LevellerTest : public DeckRig {
public:
    QString cacheFile = folder() + "/dtb/loudness.db";
    QString loud = Fixtures::wav(folder(), "Loud.wav", 3000);
    QString quiet = folder() + "/Quiet.wav";

    LevellerTest() { Fixtures::run("sox", {loud, quiet, "vol", "0.25"}); }
    static std::shared_ptr<Cart> cartOf(const QString& path) {
        return Cart::open(path, *FileSource::system());
    }
    // Plays deck to its end and returns what was heard of its first frames.
    std::vector<float> play(int deck, std::size_t frames = 3000 * 48) {
        clearCapture();
        step(QString("fire %1").arg(deck));
        tickUntilStopped();
        return {captured().begin(), captured().begin() + std::ptrdiff_t(frames * 2)};
    }
};

TEST_F(LevellerTest, MeasuresOncePerFileAndLimitsThePeak) {
    const Loudness measured = MeasureLoudness(loud);
    ASSERT_TRUE(measured.ok);
    EXPECT_NEAR(measured.samplePeak, 0.5, 0.001);
    // 0 LUFS would raise it past -1 dBFS, so the peak sets the gain.
    EXPECT_NEAR(Leveller::gainFrom(0, measured) * measured.samplePeak, std::pow(10, -1.0 / 20),
                1e-6);

    const auto measures = [this](const QString& path) {
        Leveller leveller(-23, cacheFile);
        const auto cart = cartOf(path);
        leveller.request(*cart);
        leveller.request(*cart);
        leveller.waitUntilIdle();
        EXPECT_NEAR(leveller.gainFor(*cart), Leveller::gainFrom(-23, MeasureLoudness(path)), 1e-6);
        return leveller.measureCount();
    };
    EXPECT_EQ(measures(loud), 1);
    EXPECT_EQ(measures(loud), 0); // from dtb/loudness.db
    Fixtures::wav(folder(), "Loud.wav", 2000);
    EXPECT_EQ(measures(loud), 1);
}

TEST_F(LevellerTest, CartsPlayAtTheirGainSampleForSample) {
    load(1, "Loud.wav");
    load(2, "Quiet.wav");
    Leveller leveller(-23, cacheFile);
    audio().setLeveller(&leveller);
    for (const auto& path : {loud, quiet})
        leveller.request(*cartOf(path));
    leveller.waitUntilIdle();
    const std::vector<float> heardLoud = play(1), heardQuiet = play(2);
    std::vector<float> expected = Fixtures::decodeAll(loud);
    const float gain = Leveller::gainFrom(-23, MeasureLoudness(loud));
    for (float& sample : expected)
        sample *= gain;
    EXPECT_EQ(heardLoud, expected);
    EXPECT_NEAR(loudnessOf(heardLoud.data(), heardLoud.size() / 2), -23, 0.01);
    EXPECT_NEAR(loudnessOf(heardQuiet.data(), heardQuiet.size() / 2), -23, 0.01);

    audio().setLeveller(nullptr);
}

// Lines of the cache that cannot be trusted (an old "-" for a failed measure, figures that
// are not finite, out of range or that would raise the cart by over 20 dB, a cut last line)
// are not used: the cart is measured again and its line is written on a line of its own.
// A cache mostly of stale lines is compacted.
TEST_F(LevellerTest, UntrustedCacheLinesAreMeasuredAgainAndStaleOnesCompacted) {
    CartFile::Info info;
    ASSERT_EQ(FileSource::system()->stat(loud, info), 0);
    const Cart::Identity id = Cart::identityOf(info);
    const QString known = QString("%1\t%2\t").arg(id.size).arg(id.modified);
    const float genuine = Leveller::gainFrom(-23, MeasureLoudness(loud));
    const auto cart = cartOf(loud);
    ASSERT_TRUE(QDir().mkpath(folder() + "/dtb"));
    for (const char* figures : {"-\t-", "nan\t0.5", "-1e308\t0.5", "-60\t0.001", "-23\tinf"}) {
        Fixtures::file(
            folder(), "dtb/loudness.db",
            (known + figures + '\t' + loud + "\n" + known + "-23\t0.5\t/carts/Cu").toUtf8());
        Leveller leveller(-23, cacheFile);
        EXPECT_EQ(leveller.gainFor(*cart), 1.0f) << figures;
        leveller.request(*cart);
        leveller.waitUntilIdle();
        EXPECT_EQ(leveller.measureCount(), 1) << figures;
        EXPECT_FLOAT_EQ(leveller.gainFor(*cart), genuine) << figures;
        const QStringList lines = QString::fromUtf8(Fixtures::bytes(cacheFile)).split('\n');
        ASSERT_EQ(lines.size(), 4) << figures; // the doctored line, the cut one ended, loud's
        EXPECT_TRUE(lines[1].endsWith("/carts/Cu"));
        EXPECT_TRUE(lines[2].startsWith(known) && lines[2].endsWith('\t' + loud));
    }

    QByteArray stale;
    for (int line = 0; line < 3000; ++line)
        stale += (known + "-20.0\t0.5\t" + folder() + "/Old.wav\n").toUtf8();
    Fixtures::file(folder(), "dtb/loudness.db", stale + Fixtures::bytes(cacheFile));
    Leveller leveller(-23, cacheFile);
    leveller.waitUntilIdle();
    const QString compacted = QString::fromUtf8(Fixtures::bytes(cacheFile));
    EXPECT_EQ(compacted.count('\n'), 3); // Old.wav's, the cut line's (ended), Loud.wav's
    EXPECT_TRUE(compacted.contains(known + "-20.000000\t0.5\t" + folder() + "/Old.wav\n"));
    EXPECT_FLOAT_EQ(leveller.gainFor(*cart), genuine);
    EXPECT_EQ(leveller.measureCount(), 0);
}

// A measure that cannot read the file is not remembered: the next request (a load, a fire)
// measures again. A FIFO in place of the cache blocks nothing; the figures serve this run.
TEST_F(LevellerTest, AFailedMeasureIsTriedAgainAndAFifoCacheBlocksNothing) {
    ASSERT_TRUE(QDir().mkpath(folder() + "/dtb"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(cacheFile).constData(), 0644), 0);
    Leveller leveller(-23, cacheFile);
    const auto cart = cartOf(loud);
    ASSERT_TRUE(QFile::rename(loud, loud + ".away"));
    leveller.request(*cart);
    leveller.waitUntilIdle();
    EXPECT_EQ(leveller.gainFor(*cart), 1.0f);
    ASSERT_TRUE(QFile::rename(loud + ".away", loud)); // the same size and time
    leveller.request(*cart);
    leveller.waitUntilIdle();
    EXPECT_EQ(leveller.measureCount(), 2);
    EXPECT_FLOAT_EQ(leveller.gainFor(*cart), Leveller::gainFrom(-23, MeasureLoudness(loud)));
    EXPECT_FALSE(QFileInfo(cacheFile).isFile());
}
