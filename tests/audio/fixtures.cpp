#include "fixtures.h"

#include "audio/decoder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace Fixtures {
namespace {

double tone(int channel, long frame, int sampleRate) {
    const double frequency = channel == 1 ? 660.0 : 440.0;
    return 0.5 * std::sin(2.0 * M_PI * frequency * static_cast<double>(frame) / sampleRate);
}

// The low bytes of value, little-endian.
QByteArray le(quint32 value, int bytes) {
    char out[4];
    qToLittleEndian(value, out);
    return QByteArray(out, bytes);
}

} // namespace

bool run(const QString& program, const QStringList& arguments) {
    std::vector<QByteArray> args{program.toLocal8Bit()};
    for (const QString& argument : arguments)
        args.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

QString file(const QString& dir, const QString& name, const QByteArray& bytes) {
    const QString path = QDir(dir).filePath(name);
    QFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size() ? path : QString();
}

QByteArray bytes(const QString& path) {
    QFile in(path);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArrayLiteral("<missing>");
}

QString wavWith(const QString& dir, const QString& name, int milliseconds,
                const WavFormat& format) {
    const long frames = static_cast<long>(milliseconds) * format.sampleRate / 1000;
    const int bytesPerSample = format.bits / 8;
    const double scale = std::ldexp(1.0, format.bits - 1) - 1.0;
    QByteArray data;
    for (long f = 0; f < frames; ++f) {
        for (int c = 0; c < format.channels; ++c) {
            const double v = tone(c == 1 ? 1 : 0, f, format.sampleRate);
            // 8-bit samples are unsigned.
            auto bits = static_cast<quint32>(std::lround(v * scale) + (format.bits == 8 ? 128 : 0));
            if (format.isFloat)
                bits = std::bit_cast<quint32>(static_cast<float>(v));
            data += le(bits, bytesPerSample);
        }
    }
    const int blockAlign = format.channels * bytesPerSample;
    return file(dir, name,
                "RIFF" + le(36 + data.size(), 4) + "WAVEfmt " + le(16, 4) +
                    le(format.isFloat ? 3 : 1, 2) + le(format.channels, 2) +
                    le(format.sampleRate, 4) + le(format.sampleRate * blockAlign, 4) +
                    le(blockAlign, 2) + le(format.bits, 2) + "data" + le(data.size(), 4) + data);
}

QString wav(const QString& dir, const QString& name, int milliseconds, int sampleRate) {
    return wavWith(dir, name, milliseconds, {2, 16, false, sampleRate});
}

QString mp3(const QString& dir, const QString& name, int milliseconds, Mp3Kind kind,
            int sampleRate) {
    const QString source = wav(dir, name + u".source.wav"_s, milliseconds, sampleRate);
    const QString path = QDir(dir).filePath(name);
    QStringList arguments =
        (kind == Mp3Kind::Cbr ? u"--quiet -b 128"_s : u"--quiet -V 4"_s).split(u' ');
    if (kind == Mp3Kind::VbrNoHeader)
        arguments << u"-t"_s;
    const bool made = run(u"lame"_s, arguments << source << path);
    QFile::remove(source);
    return made ? path : QString();
}

QString mpg(const QString& dir, const QString& name, int milliseconds, bool video, bool audio) {
    const QString path = QDir(dir).filePath(name);
    const QString source = audio ? wav(dir, name + u".source.wav"_s, milliseconds) : QString();
    QStringList arguments = u"-hide_banner -loglevel error -y"_s.split(u' ');
    if (video)
        arguments << u"-f"_s << u"lavfi"_s << u"-i"_s
                  << u"testsrc=size=160x120:rate=25:duration=%1"_s.arg(milliseconds / 1000.0);
    if (audio)
        arguments << u"-i"_s << source << u"-c:a mp2 -b:a 192k"_s.split(u' ');
    if (video)
        arguments << u"-c:v"_s << u"mpeg1video"_s;
    const bool made = run(u"ffmpeg"_s, arguments << u"-f"_s << u"mpeg"_s << path);
    if (audio)
        QFile::remove(source);
    return made ? path : QString();
}

std::vector<float> decodeAll(const QString& path, int outputRate) {
    Decoder decoder(outputRate);
    std::vector<float> all;
    std::vector<float> chunk(8192 * 2);
    for (int got = decoder.open(path) ? 8192 : 0; got == 8192;) {
        got = decoder.read(chunk.data(), 8192);
        all.insert(all.end(), chunk.begin(), chunk.begin() + got * 2);
    }
    return all;
}

long firstDifference(const std::vector<float>& samples, const std::vector<float>& prefix) {
    const auto at = std::mismatch(prefix.begin(), prefix.end(), samples.begin(), samples.end());
    return at.first == prefix.end() ? -1 : (at.first - prefix.begin()) / 2;
}

namespace {

class FaultyFile : public CartFile {
public:
    FaultyFile(std::shared_ptr<CartFile> file, QString name,
               std::shared_ptr<FaultyFiles::Rules> rules)
        : m_file(std::move(file)), m_name(std::move(name)), m_rules(std::move(rules)) {}
    ~FaultyFile() override {
        const std::lock_guard lock(m_rules->mutex);
        --m_rules->open;
        m_rules->changed.notify_all();
    }
    FaultyFile(const FaultyFile&) = delete;
    FaultyFile& operator=(const FaultyFile&) = delete;

    long long readAt(void* buffer, std::size_t size, std::int64_t offset) override {
        if (const int error = m_rules->enter(m_name))
            return -error;
        return m_file->readAt(buffer, size, offset);
    }
    int info(Info& info) override {
        if (const int error = m_rules->enter(m_name))
            return -error;
        return m_file->info(info);
    }
    bool isWithheld() const override {
        const std::lock_guard lock(m_rules->mutex);
        const auto rule = m_rules->byName.find(m_name);
        return rule != m_rules->byName.end() && (rule->second.held || rule->second.error != 0);
    }

private:
    const std::shared_ptr<CartFile> m_file;
    const QString m_name;
    const std::shared_ptr<FaultyFiles::Rules> m_rules;
};

} // namespace

int FaultyFiles::Rules::enter(const QString& name) {
    std::unique_lock lock(mutex);
    Rule& rule = byName[name];
    ++rule.waiting;
    changed.notify_all();
    changed.wait(lock, [&rule] { return !rule.held; });
    --rule.waiting;
    return rule.error;
}

std::shared_ptr<CartFile> FaultyFiles::open(const QString& path, int& error) {
    const QString name = QFileInfo(path).fileName();
    if ((error = m_rules->enter(name)) != 0)
        return nullptr;
    std::shared_ptr<CartFile> file = system()->open(path, error);
    if (!file)
        return nullptr;
    const std::lock_guard lock(m_rules->mutex);
    ++m_rules->open;
    return std::make_shared<FaultyFile>(std::move(file), name, m_rules);
}

int FaultyFiles::stat(const QString& path, CartFile::Info& info) {
    if (const int error = m_rules->enter(QFileInfo(path).fileName()))
        return -error;
    return system()->stat(path, info);
}

void FaultyFiles::hold(const QString& name) {
    const std::lock_guard lock(m_rules->mutex);
    m_rules->byName[name].held = true;
}

void FaultyFiles::fail(const QString& name, int error) {
    const std::lock_guard lock(m_rules->mutex);
    m_rules->byName[name].error = error;
}

void FaultyFiles::answer(const QString& name) {
    const std::lock_guard lock(m_rules->mutex);
    m_rules->byName[name] = {false, 0, m_rules->byName[name].waiting};
    m_rules->changed.notify_all();
}

void FaultyFiles::waitUntilHeld(const QString& name) {
    std::unique_lock lock(m_rules->mutex);
    m_rules->changed.wait(lock, [&] { return m_rules->byName[name].waiting > 0; });
}

void FaultyFiles::waitUntilAllClosed() {
    std::unique_lock lock(m_rules->mutex);
    m_rules->changed.wait(lock, [&] { return m_rules->open == 0; });
}

} // namespace Fixtures
