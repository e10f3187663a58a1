#include "fixtures.h"

#include "audio/decoder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtEndian>
#include <cmath>
#include <cstring>

namespace Fixtures {
namespace {

double tone(int channel, long frame, int sampleRate) {
    const double frequency = channel == 1 ? 660.0 : 440.0;
    return 0.5 * std::sin(2.0 * M_PI * frequency * static_cast<double>(frame) / sampleRate);
}

void appendLe(QByteArray& out, quint32 value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.append(static_cast<char>((value >> (8 * i)) & 0xff));
}

bool run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

QString seconds(int milliseconds) {
    return QString::number(milliseconds / 1000.0, 'f', 3);
}

} // namespace

QString file(const QString& dir, const QString& name, const QByteArray& bytes) {
    const QString path = QDir(dir).filePath(name);
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        return {};
    return path;
}

float toneValue(int channel, long frame, int sampleRate) {
    return static_cast<float>(std::lround(tone(channel, frame, sampleRate) * 32767.0)) / 32768.0f;
}

QString wavWith(const QString& dir, const QString& name, int milliseconds,
                const WavFormat& format) {
    const long frames = static_cast<long>(milliseconds) * format.sampleRate / 1000;
    const int bytesPerSample = format.bits / 8;
    QByteArray data;
    data.reserve(static_cast<int>(frames * format.channels * bytesPerSample));
    for (long f = 0; f < frames; ++f) {
        for (int c = 0; c < format.channels; ++c) {
            const double v = tone(c == 1 ? 1 : 0, f, format.sampleRate);
            if (format.isFloat) {
                const float s = static_cast<float>(v);
                quint32 bits;
                std::memcpy(&bits, &s, 4);
                appendLe(data, bits, 4);
            } else if (format.bits == 8) {
                appendLe(data, static_cast<quint32>(std::lround(v * 127.0) + 128), 1);
            } else {
                const double scale = std::ldexp(1.0, format.bits - 1) - 1.0;
                appendLe(data, static_cast<quint32>(static_cast<qint32>(std::lround(v * scale))),
                         bytesPerSample);
            }
        }
    }
    QByteArray out("RIFF");
    appendLe(out, static_cast<quint32>(36 + data.size()), 4);
    out.append("WAVEfmt ");
    appendLe(out, 16, 4);
    appendLe(out, format.isFloat ? 3 : 1, 2);
    appendLe(out, static_cast<quint32>(format.channels), 2);
    appendLe(out, static_cast<quint32>(format.sampleRate), 4);
    appendLe(out, static_cast<quint32>(format.sampleRate * format.channels * bytesPerSample), 4);
    appendLe(out, static_cast<quint32>(format.channels * bytesPerSample), 2);
    appendLe(out, static_cast<quint32>(format.bits), 2);
    out.append("data");
    appendLe(out, static_cast<quint32>(data.size()), 4);
    out.append(data);
    return file(dir, name, out);
}

QString wav(const QString& dir, const QString& name, int milliseconds, int sampleRate) {
    WavFormat format;
    format.sampleRate = sampleRate;
    return wavWith(dir, name, milliseconds, format);
}

QString mp3(const QString& dir, const QString& name, int milliseconds, Mp3Kind kind,
            int sampleRate) {
    const QString source = wav(dir, name + QStringLiteral(".source.wav"), milliseconds, sampleRate);
    const QString path = QDir(dir).filePath(name);
    QStringList arguments{QStringLiteral("--quiet")};
    if (kind == Mp3Kind::Cbr)
        arguments << QStringLiteral("-b") << QStringLiteral("128");
    else
        arguments << QStringLiteral("-V") << QStringLiteral("4");
    if (kind == Mp3Kind::VbrNoHeader)
        arguments << QStringLiteral("-t");
    arguments << source << path;
    const bool ok = run(QStringLiteral("lame"), arguments);
    QFile::remove(source);
    return ok ? path : QString();
}

QString mpg(const QString& dir, const QString& name, int milliseconds, bool withVideo) {
    const QString source = wav(dir, name + QStringLiteral(".source.wav"), milliseconds, 48000);
    const QString path = QDir(dir).filePath(name);
    QStringList arguments{QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"),
                          QStringLiteral("error"), QStringLiteral("-y")};
    if (withVideo) {
        arguments << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i")
                  << QStringLiteral("testsrc=size=160x120:rate=25:duration=") +
                         seconds(milliseconds);
    }
    arguments << QStringLiteral("-i") << source << QStringLiteral("-c:a") << QStringLiteral("mp2")
              << QStringLiteral("-b:a") << QStringLiteral("192k");
    if (withVideo)
        arguments << QStringLiteral("-c:v") << QStringLiteral("mpeg1video");
    arguments << QStringLiteral("-f") << QStringLiteral("mpeg") << path;
    const bool ok = run(QStringLiteral("ffmpeg"), arguments);
    QFile::remove(source);
    return ok ? path : QString();
}

QString videoOnlyMpg(const QString& dir, const QString& name, int milliseconds) {
    const QString path = QDir(dir).filePath(name);
    const bool ok = run(
        QStringLiteral("ffmpeg"),
        {QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"), QStringLiteral("error"),
         QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
         QStringLiteral("testsrc=size=160x120:rate=25:duration=") + seconds(milliseconds),
         QStringLiteral("-c:v"), QStringLiteral("mpeg1video"), QStringLiteral("-f"),
         QStringLiteral("mpeg"), path});
    return ok ? path : QString();
}

std::vector<float> decodeAll(const QString& path, int outputRate) {
    Decoder decoder(outputRate);
    std::vector<float> all;
    if (!decoder.open(path))
        return all;
    std::vector<float> chunk(8192 * 2);
    while (true) {
        const int got = decoder.read(chunk.data(), 8192);
        all.insert(all.end(), chunk.begin(), chunk.begin() + got * 2);
        if (got < 8192)
            break;
    }
    return all;
}

} // namespace Fixtures
