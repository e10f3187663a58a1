#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

// Test carts written at test time, usually into a QTemporaryDir: WAV directly, MP3 and
// MPEG from a WAV with lame and ffmpeg. Each returns the path it wrote ("" on failure).
// The tone is 440 Hz left and 660 Hz right at half scale: a swapped channel shows.
namespace Fixtures {

// 16-bit stereo PCM of a tone.
QString wav(const QString& dir, const QString& name, int milliseconds, int sampleRate = 48000);

struct WavFormat {
    int channels = 2;
    int bits = 16; // 8, 16, 24 or 32
    bool isFloat = false;
    int sampleRate = 48000;
};
// Any PCM layout; channels beyond two carry the left tone.
QString wavWith(const QString& dir, const QString& name, int milliseconds, const WavFormat& format);

enum class Mp3Kind {
    Cbr,        // constant bit rate with a LAME/Info header
    VbrXing,    // variable bit rate with a Xing/LAME header
    VbrNoHeader // variable bit rate without one (the length cannot come from a header)
};
QString mp3(const QString& dir, const QString& name, int milliseconds, Mp3Kind kind = Mp3Kind::Cbr,
            int sampleRate = 44100);

// An MPEG program stream with MP2 audio and/or an MPEG-1 video stream.
QString mpg(const QString& dir, const QString& name, int milliseconds, bool withVideo = false,
            bool withAudio = true);

// A file with the given bytes.
QString file(const QString& dir, const QString& name, const QByteArray& bytes);
// The bytes of a file, "<missing>" if it cannot be read.
QByteArray bytes(const QString& path);

// Every frame the decoder gives for the file, interleaved stereo at the rate.
std::vector<float> decodeAll(const QString& path, int outputRate = 48000);

} // namespace Fixtures
