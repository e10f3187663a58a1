#include "audio/decoder.h"
#include "fixtures.h"

#include <QTemporaryDir>
#include <QtEndian>
#include <cmath>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using Fixtures::Mp3Kind;

namespace {

// Every PCM layout gives stereo at 48 kHz of the right length, the tone at half scale on
// the left (lower when six channels are mixed down), mono alike on both sides; 16-bit
// stereo at 48 kHz gives the file's own samples.
TEST(Decoder, EveryPcmLayoutGivesStereoOfTheRightLengthAndLevel) {
    QTemporaryDir dir;
    const Fixtures::WavFormat formats[] = {
        {2, 16, false, 48000}, {2, 8, false, 48000},  {2, 24, false, 48000}, {2, 32, false, 48000},
        {2, 32, true, 48000},  {1, 16, false, 48000}, {6, 16, false, 48000}, {2, 16, false, 22050}};
    for (const Fixtures::WavFormat& format : formats) {
        SCOPED_TRACE(&format - formats);
        const QString file =
            Fixtures::wavWith(dir.path(), u"%1.wav"_s.arg(&format - formats), 200, format);
        const Decoder::Measurement m = Decoder::measure(file);
        EXPECT_EQ(m.sourceFrames, format.sampleRate / 5);
        EXPECT_EQ(m.milliseconds(), 200);
        const std::vector<float> frames = Fixtures::decodeAll(file);
        const QByteArray pcm = Fixtures::bytes(file).mid(44);
        for (std::size_t i = 0; &format == formats && i < frames.size(); ++i)
            ASSERT_EQ(frames[i], qFromLittleEndian<qint16>(pcm.constData() + 2 * i) / 32768.0f)
                << i;
        EXPECT_NEAR(static_cast<double>(frames.size()) / 2, 9600.0,
                    format.sampleRate == 48000 ? 0 : 2);
        float peak = 0;
        for (std::size_t f = 2000; f < 8000 && 2 * f < frames.size(); ++f)
            peak = std::max(peak, std::fabs(frames[2 * f]));
        EXPECT_TRUE(format.channels == 6 ? peak > 0.1f : std::fabs(peak - 0.5f) < 0.02f) << peak;
        for (std::size_t f = 0; format.channels == 1 && f < 9600; ++f)
            ASSERT_EQ(frames[2 * f], frames[2 * f + 1]);
    }
}

// The measured length is what a full decode gives, whatever the file is called; without a
// header that declares the encoder's padding (nominal -1) it stays in.
TEST(Decoder, MeasuredLengthIsTheDecodedLengthWhateverTheFileIsCalled) {
    QTemporaryDir dir;
    const QString tmp = dir.path();
    const QString cbr = Fixtures::mp3(tmp, u"cbr.mp3"_s, 1500, Mp3Kind::Cbr);
    ASSERT_TRUE(QFile::copy(cbr, tmp + u"/mp3-named.wav"_s));
    const std::pair<QString, int> cases[] = {
        {Fixtures::wav(tmp, u"b.wav"_s, 777, 44100), 777},
        {cbr, 1500},
        {tmp + u"/mp3-named.wav"_s, 1500},
        {Fixtures::mp3(tmp, u"bare.mp3"_s, 1500, Mp3Kind::VbrNoHeader), -1},
        {Fixtures::mp3(tmp, u"cbr48.mp3"_s, 900, Mp3Kind::Cbr, 48000), 900},
        {Fixtures::mpg(tmp, u"audio.mpg"_s, 1500), -1},
    };
    for (const auto& [file, nominalMs] : cases) {
        SCOPED_TRACE(file.toStdString());
        const Decoder::Measurement m = Decoder::measure(file);
        Decoder decoder(48000);
        ASSERT_TRUE(m.ok && decoder.open(file));
        std::vector<float> chunk(4096 * 2);
        while (decoder.read(chunk.data(), 4096) == 4096) {
        }
        EXPECT_EQ(m.sourceFrames, decoder.sourceFrames());
        EXPECT_EQ(m.sourceRate, decoder.sourceRate());
        EXPECT_NEAR(m.milliseconds(), nominalMs < 0 ? 1500 : nominalMs, nominalMs < 0 ? 80 : 1);
    }
}

} // namespace
