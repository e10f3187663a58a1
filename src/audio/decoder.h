#pragma once

#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>

// Decodes one audio file with FFmpeg into interleaved stereo float frames at the output
// rate: mono goes to both channels at full level, more than two channels are mixed down.
// The content decides the demuxer and decoder, not the file name. Encoder delay and
// padding that the container declares (LAME/Info tags) are trimmed by FFmpeg.
//
// Worker threads (and the UI thread for a measurement); blocks on the disk. One thread
// per instance. A cancel flag makes a blocked open or read give up at the next chance.
class Decoder {
public:
    // What the packet scan of a file finds: the number of frames the decoder will produce
    // at the source rate, without decoding.
    struct Measurement {
        bool ok = false; // an audio stream and a decoder for it were found
        QString error;   // why not, for the operator
        std::int64_t sourceFrames = 0;
        int sourceRate = 0;
        std::int64_t milliseconds() const;
    };

    explicit Decoder(int outputRate);
    ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    // Opens the file's best audio stream. False when it is not a regular file, has no
    // audio stream or no decoder for it; read() then returns 0.
    bool open(const QString& path, const std::atomic<bool>* cancel = nullptr);

    // Fills up to frames frames; fewer only at the end of the decodable audio (a damaged
    // packet is skipped, a read error ends the stream).
    int read(float* out, int frames);
    // Decodes and drops frames; returns how many were dropped.
    std::int64_t skip(std::int64_t frames);

    bool atEnd() const;
    // The file's packets stopped at a read error of the system or a cancel, before the end.
    bool readFailed() const;
    // Frames decoded so far at the source rate, after trimming; at the end, the file's
    // exact decoded length.
    std::int64_t sourceFrames() const;
    int sourceRate() const;
    int outputRate() const { return m_outputRate; }
    // Frames handed out by read() and skip() so far, at the output rate; at the end, the
    // length that plays, whatever rates the stream changed through.
    std::int64_t outputFrames() const { return m_outputFrames; }

    // Scans the packets of the file's best audio stream and adds up their durations less
    // the trimmed delay and padding: the length the decoder would produce, without decoding.
    // A file that takes more than ten seconds to scan is measured as far as it got.
    static Measurement measure(const QString& path, const std::atomic<bool>* cancel = nullptr);

private:
    struct Impl;
    const int m_outputRate;
    std::int64_t m_outputFrames = 0;
    std::unique_ptr<Impl> m_impl;
};
