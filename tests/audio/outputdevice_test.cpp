#include "audio/audioengine.h"
#include "audio/defaultoutput.h"
#include "audio/nulldevice.h"
#include "audio/portaudiodevice.h"
#include "decks/mcidevice.h"
#include "fixtures.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// Points ALSA at a configuration of our own for the test's lifetime.
class AlsaConfig {
public:
    AlsaConfig(const QString& dir, const QByteArray& text) {
        m_path = Fixtures::file(dir, QStringLiteral("asound.conf"), text);
        qputenv("ALSA_CONFIG_PATH", QFile::encodeName(m_path));
    }
    ~AlsaConfig() { qunsetenv("ALSA_CONFIG_PATH"); }

private:
    QString m_path;
};

// Sends stderr to a file for its lifetime; text() is what was written.
class StderrCapture {
public:
    explicit StderrCapture(const QString& path) : m_path(path) {
        std::fflush(stderr);
        m_saved = ::dup(STDERR_FILENO);
        const int fd =
            ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, STDERR_FILENO);
        ::close(fd);
    }
    ~StderrCapture() { restore(); }
    QByteArray text() {
        restore();
        QFile file(m_path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    void restore() {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
        m_saved = -1;
    }
    QString m_path;
    int m_saved = -1;
};

// Waits (on the player's mode, with a generous bound against a hang) for the cart to end.
bool waitUntilStopped(const MciDevice& player) {
    QElapsedTimer timer;
    timer.start();
    while (player.Mode() == MciDevice::kModePlaying) {
        if (timer.elapsed() > 30000)
            return false;
        QThread::msleep(2);
    }
    return true;
}

void playPrepared(AudioEngine& engine, MciDevice& player, const QString& file) {
    player.setFileName(file);
    player.Command(QStringLiteral("Open"));
    engine.waitForBackgroundWork();
    player.Command(QStringLiteral("Close"));
    player.Command(QStringLiteral("Open"));
    player.Command(QStringLiteral("Play"));
}

TEST(PortAudioOutput, PlaysACartThroughAlsaIntoItsFilePcm) {
    QTemporaryDir dir;
    const QString capture = dir.filePath(QStringLiteral("capture.raw"));
    const AlsaConfig config(dir.path(), "pcm.!default {\n"
                                        "    type file\n"
                                        "    slave.pcm \"discard\"\n"
                                        "    file \"" +
                                            QFile::encodeName(capture) +
                                            "\"\n"
                                            "    format \"raw\"\n"
                                            "}\n"
                                            "pcm.discard { type null }\n");
    QString error;
    auto device = PortAudioDevice::openDefault(48000, 256, &error);
    ASSERT_TRUE(device) << error.toStdString();
    EXPECT_EQ(device->sampleRate(), 48000);
    EXPECT_GT(device->latencyFrames(), 0);

    const QString file = Fixtures::wav(dir.path(), QStringLiteral("id.wav"), 700);
    {
        AudioEngine engine(std::move(device));
        MciDevice player(engine);
        playPrepared(engine, player, file);
        ASSERT_TRUE(waitUntilStopped(player));
        EXPECT_EQ(player.Position(), 700);
    } // closing the device closes the file

    QFile raw(capture);
    ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
    const QByteArray bytes = raw.readAll();
    std::vector<float> captured(static_cast<std::size_t>(bytes.size()) / sizeof(float));
    std::memcpy(captured.data(), bytes.constData(), captured.size() * sizeof(float));

    // The capture is silence, the cart sample for sample, silence.
    const std::vector<float> cart = Fixtures::decodeAll(file);
    const auto nonZero = [](float s) {
        return s != 0.0f;
    };
    const auto cartStart = std::find_if(cart.begin(), cart.end(), nonZero) - cart.begin();
    const auto heardStart =
        std::find_if(captured.begin(), captured.end(), nonZero) - captured.begin();
    const auto offset = heardStart - cartStart;
    ASSERT_GE(offset, 0);
    ASSERT_EQ(offset % 2, 0);
    ASSERT_GE(captured.size(), static_cast<std::size_t>(offset) + cart.size());
    EXPECT_TRUE(std::equal(cart.begin(), cart.end(), captured.begin() + offset));
    EXPECT_TRUE(std::none_of(captured.begin() + offset + static_cast<std::ptrdiff_t>(cart.size()),
                             captured.end(), nonZero));
}

TEST(PortAudioOutput, WithoutADeviceFallsBackToTheClockWithOneQuietWarning) {
    QTemporaryDir dir;
    // A default that names a missing card, and a device that complains when probed.
    const AlsaConfig config(dir.path(), "pcm.!default { type hw card 7 }\n"
                                        "pcm.broken { type file slave.pcm \"nothing\" "
                                        "file \"/nonexistent/x\" }\n");
    StderrCapture err(dir.filePath(QStringLiteral("stderr.txt")));
    DefaultOutput output = openDefaultOutput();
    const QByteArray text = err.text();

    ASSERT_TRUE(output.device);
    EXPECT_NE(dynamic_cast<NullDevice*>(output.device.get()), nullptr);
    EXPECT_EQ(output.warning, QStringLiteral("No audio output device: carts will not be heard."));
    // One line on stderr, and none of the enumeration noise.
    EXPECT_TRUE(text.startsWith("No audio output device: carts will not be heard.")) << text.data();
    EXPECT_EQ(text.count('\n'), 1) << text.data();
}

TEST(NullOutput, PlaysCartsToTheirEndOnTheClock) {
    QTemporaryDir dir;
    const QString file = Fixtures::wav(dir.path(), QStringLiteral("bed.wav"), 300);
    AudioEngine engine(std::make_unique<NullDevice>(48000, 256));
    MciDevice player(engine);
    playPrepared(engine, player, file);
    ASSERT_TRUE(waitUntilStopped(player));
    EXPECT_EQ(player.Mode(), MciDevice::kModeStopped);
    EXPECT_EQ(player.Position(), 300);
    EXPECT_EQ(engine.underruns(), 0u);
    EXPECT_GE(engine.renderedFrames(), 300u * 48);
}

} // namespace
