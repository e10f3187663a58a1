#pragma once

#include "audio/filesource.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
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

// Runs a tool to its end, its output dropped and its errors shown; whether it succeeded.
// Spawned without forking this process: a fork of the multi-threaded test process leaves
// the thread sanitizer blind to the locks of threads started after it.
bool run(const QString& program, const QStringList& arguments);

// A file with the given bytes.
QString file(const QString& dir, const QString& name, const QByteArray& bytes);
// The bytes of a file, "<missing>" if it cannot be read.
QByteArray bytes(const QString& path);

// Every frame the decoder gives for the file, interleaved stereo at the rate.
std::vector<float> decodeAll(const QString& path, int outputRate = 48000);
// The first frame at which samples does not begin with prefix; -1 when it does.
long firstDifference(const std::vector<float>& samples, const std::vector<float>& prefix);

// The system's files, with the faults of a share that stalls, by file name: a test holds
// a file's opens and reads (they wait until it answers again), or makes them fail with an
// errno for a while. Any thread; the rules outlive the source, for the readers a closing
// engine leaves behind.
class FaultyFiles : public FileSource {
public:
    std::shared_ptr<CartFile> open(const QString& path, int& error) override;
    int stat(const QString& path, CartFile::Info& info) override;
    void hold(const QString& name);
    void fail(const QString& name, int error);
    // The file answers again, at once, to the calls it held.
    void answer(const QString& name);
    // Blocks until a call waits on the held file.
    void waitUntilHeld(const QString& name);
    // Blocks until every file opened through this source is closed.
    void waitUntilAllClosed();

    struct Rule {
        bool held = false;
        int error = 0;
        int waiting = 0; // calls held now
    };
    struct Rules {
        std::mutex mutex;
        std::condition_variable changed;
        std::map<QString, Rule> byName;
        int open = 0; // files open
        // 0, or the errno of the call; waits while held.
        int enter(const QString& name);
    };

private:
    std::shared_ptr<Rules> m_rules = std::make_shared<Rules>();
};

} // namespace Fixtures
