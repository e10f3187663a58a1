#include "audio/decoder.h"
#include "fixtures.h"

#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>

namespace {

// Decodes the whole file; returns the frames at the source rate after trimming.
std::int64_t decodedSourceFrames(const QString& path, int* sourceRate = nullptr) {
    Decoder decoder(48000);
    if (!decoder.open(path))
        return -1;
    std::vector<float> chunk(4096 * 2);
    while (decoder.read(chunk.data(), 4096) == 4096) {
    }
    if (sourceRate)
        *sourceRate = decoder.sourceRate();
    return decoder.sourceFrames();
}

class DecoderTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path() const { return dir.path(); }
};

TEST_F(DecoderTest, SixteenBitWavDecodesToItsSamplesExactly) {
    const QString file = Fixtures::wav(path(), QStringLiteral("id.wav"), 250);
    const std::vector<float> frames = Fixtures::decodeAll(file);
    ASSERT_EQ(frames.size(), 12000u * 2);
    for (long f = 0; f < 12000; ++f) {
        ASSERT_EQ(frames[2 * f], Fixtures::toneValue(0, f, 48000)) << f;
        ASSERT_EQ(frames[2 * f + 1], Fixtures::toneValue(1, f, 48000)) << f;
    }
}

TEST_F(DecoderTest, EveryPcmLayoutGivesStereoOfTheRightLengthAndLevel) {
    struct Case {
        const char* name;
        Fixtures::WavFormat format;
    };
    const Case cases[] = {
        {"u8.wav", {2, 8, false, 48000}},       {"s24.wav", {2, 24, false, 48000}},
        {"s32.wav", {2, 32, false, 48000}},     {"f32.wav", {2, 32, true, 48000}},
        {"mono.wav", {1, 16, false, 48000}},    {"six.wav", {6, 16, false, 48000}},
        {"s16-22k.wav", {2, 16, false, 22050}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = Fixtures::wavWith(path(), QString::fromLatin1(c.name), 200, c.format);
        const Decoder::Measurement m = Decoder::measure(file);
        ASSERT_TRUE(m.ok);
        EXPECT_EQ(m.sourceRate, c.format.sampleRate);
        EXPECT_EQ(m.sourceFrames, c.format.sampleRate / 5);
        EXPECT_EQ(m.milliseconds(), 200);

        const std::vector<float> frames = Fixtures::decodeAll(file);
        // 200 ms at 48 kHz whatever the source rate (the resampler keeps the length).
        EXPECT_NEAR(static_cast<double>(frames.size()) / 2, 9600.0, 2.0);
        // Peak level of the left channel in the steady middle of the tone.
        float peak = 0;
        for (std::size_t f = 2000; f < 8000 && 2 * f < frames.size(); ++f)
            peak = std::max(peak, std::fabs(frames[2 * f]));
        const float expected = c.format.channels == 6 ? 0.0f : 0.5f; // six: mixed, lower
        if (c.format.channels == 6)
            EXPECT_GT(peak, 0.1f);
        else
            EXPECT_NEAR(peak, expected, 0.02f);
        if (c.format.channels == 1) {
            // Mono reaches both sides at full level.
            for (std::size_t f = 0; f < 9600; ++f)
                ASSERT_EQ(frames[2 * f], frames[2 * f + 1]);
        }
    }
}

TEST_F(DecoderTest, MeasuredLengthIsTheDecodedLength) {
    struct Case {
        QString file;
        std::int64_t nominalMs; // -1: padded by the encoder, not comparable
    };
    const std::vector<Case> cases = {
        {Fixtures::wav(path(), QStringLiteral("a.wav"), 1234), 1234},
        {Fixtures::wav(path(), QStringLiteral("b.wav"), 777, 44100), 777},
        {Fixtures::mp3(path(), QStringLiteral("cbr.mp3"), 1500, Fixtures::Mp3Kind::Cbr), 1500},
        {Fixtures::mp3(path(), QStringLiteral("xing.mp3"), 1500, Fixtures::Mp3Kind::VbrXing), 1500},
        {Fixtures::mp3(path(), QStringLiteral("bare.mp3"), 1500, Fixtures::Mp3Kind::VbrNoHeader),
         -1},
        {Fixtures::mp3(path(), QStringLiteral("cbr48.mp3"), 900, Fixtures::Mp3Kind::Cbr, 48000),
         900},
        {Fixtures::mpg(path(), QStringLiteral("audio.mpg"), 1500), -1},
        {Fixtures::mpg(path(), QStringLiteral("video.mpg"), 1500, true), -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        ASSERT_FALSE(c.file.isEmpty());
        const Decoder::Measurement m = Decoder::measure(c.file);
        ASSERT_TRUE(m.ok);
        int rate = 0;
        EXPECT_EQ(m.sourceFrames, decodedSourceFrames(c.file, &rate));
        EXPECT_EQ(m.sourceRate, rate);
        if (c.nominalMs >= 0)
            EXPECT_NEAR(m.milliseconds(), c.nominalMs, 1);
        else
            EXPECT_NEAR(m.milliseconds(), 1500, 80); // the encoder's padding stays in
    }
}

TEST_F(DecoderTest, ContentDecidesTheDecoderNotTheName) {
    const QString mp3 = Fixtures::mp3(path(), QStringLiteral("real.mp3"), 700);
    ASSERT_FALSE(mp3.isEmpty());
    const QString disguised = path() + QStringLiteral("/looks-like.wav");
    ASSERT_TRUE(QFile::copy(mp3, disguised));
    EXPECT_EQ(Decoder::measure(disguised).milliseconds(), Decoder::measure(mp3).milliseconds());
    EXPECT_EQ(Fixtures::decodeAll(disguised), Fixtures::decodeAll(mp3));
}

TEST_F(DecoderTest, SkipThenReadContinuesTheSameFrames) {
    const QString file = Fixtures::mp3(path(), QStringLiteral("s.mp3"), 1000);
    const std::vector<float> all = Fixtures::decodeAll(file);
    Decoder decoder(48000);
    ASSERT_TRUE(decoder.open(file));
    EXPECT_EQ(decoder.skip(12345), 12345);
    std::vector<float> rest(all.size());
    const int got = decoder.read(rest.data(), static_cast<int>(all.size() / 2));
    ASSERT_EQ(static_cast<std::size_t>(got), all.size() / 2 - 12345);
    EXPECT_TRUE(std::equal(rest.begin(), rest.begin() + got * 2, all.begin() + 12345 * 2));
    EXPECT_TRUE(decoder.atEnd());
}

} // namespace
