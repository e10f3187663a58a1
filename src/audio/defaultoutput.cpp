#include "audio/defaultoutput.h"

#include "audio/jackdevice.h"
#include "audio/nulldevice.h"
#include "audio/portaudiodevice.h"
#include "audio/supervisedoutput.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <cstdio>
#include <unistd.h>
#include <utility>

namespace {

// The device and the latency it obtained, on stderr.
void describe(const PortAudioDevice& device) {
    const QString periods = device.periods() > 0 ? QStringLiteral("%1 periods of %2 frames")
                                                       .arg(device.periods())
                                                       .arg(device.periodFrames())
                                                 : QStringLiteral("periods set by the JACK server");
    std::fprintf(stderr, "Audio output: %s, %d Hz, %s, latency %.1f ms.\n",
                 device.name().toLocal8Bit().constData(), device.sampleRate(),
                 periods.toLocal8Bit().constData(),
                 1000.0 * device.latencyFrames() / device.sampleRate());
}

// Opens the station's output again, never another in its place, on the supervised output's
// worker: through PortAudio, by the name of the device once one has opened; once a JACK
// output has played, as a JACK client of the program's own, since PortAudio's JACK host stays
// wedged by the stream of a server that died.
class Reopener {
public:
    Reopener(const OutputChoice& choice, int sampleRate) : m_choice(choice), m_rate(sampleRate) {
        m_choice.exactDevice = true;
    }
    void opened(const PortAudioDevice& device) {
        m_choice.device = device.name();
        if (device.isJack())
            m_jackTarget = device.deviceName();
    }

    std::unique_ptr<OutputDevice> operator()(QString* error) {
        if (!m_jackTarget.isEmpty()) {
            auto reopened = JackDevice::open(m_jackTarget, error);
            if (reopened)
                std::fprintf(
                    stderr, "Audio output: JACK client into %s, %d Hz, %d-frame periods.\n",
                    qPrintable(m_jackTarget), reopened->sampleRate(), reopened->periodFrames());
            return reopened;
        }
        auto reopened = PortAudioDevice::open(m_choice, m_rate, error);
        if (reopened) {
            describe(*reopened);
            opened(*reopened);
        }
        return reopened;
    }

private:
    OutputChoice m_choice;
    const int m_rate;
    QString m_jackTarget;
};

// Has the output try again soon when a sound card's device nodes change or the JACK
// server's socket appears (inotify: nothing is polled), so that a device that appears is
// opened within a second rather than at the end of the attempts' back-off.
void watchForDevices(SupervisedOutput& output) {
    const QString cards = QStringLiteral("/dev/snd");
    const QString shm = QStringLiteral("/dev/shm");
    const QByteArray server = qEnvironmentVariableIsEmpty("JACK_DEFAULT_SERVER")
                                  ? QByteArray("default")
                                  : qgetenv("JACK_DEFAULT_SERVER");
    const QString socket =
        QStringLiteral("%1/jack_%2_%3_0").arg(shm, QString::fromLocal8Bit(server)).arg(::getuid());
    auto* watcher = new QFileSystemWatcher(&output);
    for (const QString& folder : {cards, shm}) {
        if (QFileInfo(folder).isDir())
            watcher->addPath(folder);
    }
    // Only the socket's appearance counts: our own attempts add and remove JACK's files.
    QObject::connect(watcher, &QFileSystemWatcher::directoryChanged, &output,
                     [&output, cards, socket,
                      server = QFileInfo::exists(socket)](const QString& folder) mutable {
                         const bool appeared = !server && QFileInfo::exists(socket);
                         server = QFileInfo::exists(socket);
                         if (folder == cards || appeared)
                             output.tryAgainSoon();
                     });
}

} // namespace

DefaultOutput openDefaultOutput(const OutputChoice& choice, int sampleRate) {
    QString reason;
    QString notice;
    // A device the station named is the only one ever opened: a missing one is awaited.
    OutputChoice wanted = choice;
    wanted.exactDevice = choice.namesDevice();
    auto device = PortAudioDevice::open(wanted, sampleRate, &reason, &notice);
    std::fputs(notice.toLocal8Bit().constData(), stderr);
    if (device) {
        describe(*device);
        Reopener reopen(choice, device->sampleRate());
        reopen.opened(*device);
        auto standIn = std::make_unique<NullDevice>(device->sampleRate(), device->periodFrames());
        auto output = std::make_unique<SupervisedOutput>(std::move(device), std::move(standIn),
                                                         std::move(reopen));
        SupervisedOutput* supervised = output.get();
        watchForDevices(*supervised);
        return {std::move(output), QString(), supervised};
    }
    if (wanted.exactDevice) {
        const QString warning =
            QString::fromUtf8(kOutputAwaitedWarning).arg(choice.device.trimmed());
        QString line = warning;
        // The notice has named the devices there are; else the named one failed to open.
        if (notice.isEmpty())
            line += QStringLiteral(" (%1)").arg(reason);
        std::fprintf(stderr, "%s\n", qPrintable(line));
        auto output = std::make_unique<SupervisedOutput>(
            std::make_unique<NullDevice>(sampleRate, choice.periodFrames),
            Reopener(choice, sampleRate), warning);
        SupervisedOutput* supervised = output.get();
        watchForDevices(*supervised);
        return {std::move(output), QString(), supervised};
    }
    std::fprintf(stderr, "%s (%s)\n", kNoAudioOutputWarning, reason.toLocal8Bit().constData());
    return {std::make_unique<NullDevice>(sampleRate, choice.periodFrames),
            QString::fromUtf8(kNoAudioOutputWarning), nullptr};
}

std::unique_ptr<SupervisedOutput> openPreviewOutput(const QString& name, int periodFrames,
                                                    int sampleRate) {
    const auto off = [&name](const QString& why) {
        std::fprintf(stderr, "Pre-listen output '%s': %s; pre-listen is off.\n", qPrintable(name),
                     qPrintable(why));
        return nullptr;
    };
    const std::vector<OutputDeviceInfo> devices = PortAudioDevice::listOutputs();
    const DeviceMatch match = matchOutputDevice(devices, name);
    if (match.index < 0)
        return off(match.error.isEmpty() ? QStringLiteral("not found") : match.error);
    const OutputDeviceInfo& found = devices[static_cast<std::size_t>(match.index)];
    SupervisedOutput::Opener open;
    if (found.hostApi.contains(QLatin1String("JACK"))) {
        open = [target = found.name](QString* error) -> std::unique_ptr<OutputDevice> {
            return JackDevice::open(target, error, nullptr, {"Airloom preview", "preview_"});
        };
    } else {
        OutputChoice choice;
        choice.device = found.name;
        choice.exactDevice = true;
        choice.periodFrames = periodFrames;
        open = [choice, sampleRate](QString* error) -> std::unique_ptr<OutputDevice> {
            return PortAudioDevice::open(choice, sampleRate, error);
        };
    }
    QString error;
    std::unique_ptr<OutputDevice> device = open(&error);
    if (!device)
        return off(error);
    if (device->sampleRate() != sampleRate)
        return off(QStringLiteral("it plays at %1 Hz, the carts at %2 Hz")
                       .arg(device->sampleRate())
                       .arg(sampleRate));
    std::fprintf(stderr, "Pre-listen output: %s (%s), %d-frame periods.\n", qPrintable(found.name),
                 qPrintable(found.hostApi), device->periodFrames());
    auto standIn = std::make_unique<NullDevice>(sampleRate, device->periodFrames());
    auto output =
        std::make_unique<SupervisedOutput>(std::move(device), std::move(standIn), std::move(open));
    watchForDevices(*output);
    return output;
}

QString listOutputDevices() {
    return describeOutputDevices(PortAudioDevice::listOutputs());
}
