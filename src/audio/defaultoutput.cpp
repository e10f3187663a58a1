#include "audio/defaultoutput.h"

#include "audio/jackdevice.h"
#include "audio/nulldevice.h"
#include "audio/portaudiodevice.h"
#include "audio/supervisedoutput.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <unistd.h>
#include <utility>

namespace {

// The device and the latency it obtained, on stderr.
void describe(const PortAudioDevice& device) {
    std::fprintf(stderr, "Audio output: %s, %d Hz, %d periods of %d frames, latency %.1f ms.\n",
                 device.name().toLocal8Bit().constData(), device.sampleRate(), device.periods(),
                 device.periodFrames(), 1000.0 * device.latencyFrames() / device.sampleRate());
}

// Opens the JACK client into target and starts nothing.
std::unique_ptr<JackDevice> openJack(const QString& target, QString* error) {
    auto device = JackDevice::open(target, error);
    if (device)
        std::fprintf(stderr,
                     "Audio output: JACK client Airloom into %s, %d Hz, %d-frame periods set by "
                     "the JACK server, latency %.1f ms.\n",
                     qPrintable(target), device->sampleRate(), device->periodFrames(),
                     1000.0 * device->latencyFrames() / device->sampleRate());
    return device;
}

// The output to tell when a waiting JACK client's target is back (set once it exists).
using OutputToTell = std::shared_ptr<std::atomic<SupervisedOutput*>>;

// Has the output try again soon (a queued call: JACK's thread must not touch it) when the
// target's ports appear.
std::shared_ptr<JackWait> waitFor(OutputToTell output) {
    return std::make_shared<JackWait>([output = std::move(output)] {
        if (SupervisedOutput* told = output->load())
            QMetaObject::invokeMethod(told, &SupervisedOutput::tryAgainSoon, Qt::QueuedConnection);
    });
}

// Opens the station's output, at the start and again on the supervised output's worker, never
// another in its place: through PortAudio, by the name of the device once one has opened; a
// device of the JACK host as a JACK client of the program's own. A device that stalls at once
// after every open is opened once more with periods that cover PipeWire's usual quantum.
//
// On the JACK path a client whose target has no ports waits for them (JackWait) and has the
// output try again as soon as they are registered: PipeWire's JACK layer, unlike jackd, has
// no socket whose appearance tells that a sink is back.
class Opener {
public:
    Opener(const OutputChoice& choice, int sampleRate)
        : m_choice(choice), m_rate(sampleRate), m_wait(waitFor(m_output)) {}
    // The output the attempts are for, told when a JACK target's ports appear.
    OutputToTell output() const { return m_output; }

    // The first open, which may fall back on the default output; *notice names the devices
    // when the one named is not there.
    std::unique_ptr<OutputDevice> first(QString* error, QString* notice) {
        m_choice.exactDevice = m_choice.namesDevice();
        auto device = open(error, notice);
        m_choice.exactDevice = true;
        if (device)
            m_stalls.opened(m_clock.elapsed());
        return device;
    }

    std::unique_ptr<OutputDevice> operator()(QString* error) {
        const qint64 now = m_clock.elapsed();
        if (m_stalls.attempt(now) && m_jackTarget.isEmpty()) {
            m_choice.periodFrames = std::max(2 * m_choice.periodFrames, kUsualQuantum);
            std::fprintf(stderr,
                         "Audio output: it stopped taking frames at once after each open; the "
                         "sound server may run at a longer quantum than the buffer. Opening "
                         "%d-frame periods.\n",
                         m_choice.periodFrames);
        }
        auto device = open(error, nullptr);
        if (device)
            m_stalls.opened(now);
        return device;
    }
    int sampleRate() const { return m_rate; }
    // The device opened last (by name once one has opened).
    QString identity() const {
        return m_jackTarget.isEmpty() ? m_choice.device
                                      : outputIdentity(m_jackTarget, QStringLiteral("JACK"));
    }

private:
    // PipeWire's default quantum at 48 kHz.
    static constexpr int kUsualQuantum = 1024;

    std::unique_ptr<OutputDevice> open(QString* error, QString* notice) {
        m_wait->release();
        if (!m_jackTarget.isEmpty())
            return m_wait->take(openJack(m_jackTarget, error), error);
        auto device = PortAudioDevice::open(m_choice, m_rate, error, notice, &m_jackTarget);
        if (!m_jackTarget.isEmpty())
            return m_wait->take(openJack(m_jackTarget, error), error);
        if (!device)
            return nullptr;
        describe(*device);
        m_choice.device = device->name();
        m_rate = device->sampleRate();
        return device;
    }

    OutputChoice m_choice;
    int m_rate;
    QString m_jackTarget;
    OutputToTell m_output = std::make_shared<std::atomic<SupervisedOutput*>>(nullptr);
    std::shared_ptr<JackWait> m_wait;
    QuickLossGuard m_stalls;
    QElapsedTimer m_clock = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
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
    Opener opener(choice, sampleRate);
    const auto told = opener.output();
    auto device = opener.first(&reason, &notice);
    std::fputs(notice.toLocal8Bit().constData(), stderr);
    std::unique_ptr<SupervisedOutput> output;
    QString identity;
    if (device) {
        identity = opener.identity();
        auto standIn = std::make_unique<NullDevice>(device->sampleRate(), device->periodFrames());
        output = std::make_unique<SupervisedOutput>(std::move(device), std::move(standIn),
                                                    std::move(opener));
    } else if (choice.namesDevice()) {
        const QString warning =
            QString::fromUtf8(kOutputAwaitedWarning).arg(choice.device.trimmed());
        QString line = warning;
        // The notice has named the devices there are; else the named one failed to open.
        if (notice.isEmpty())
            line += QStringLiteral(" (%1)").arg(reason);
        std::fprintf(stderr, "%s\n", qPrintable(line));
        output = std::make_unique<SupervisedOutput>(
            std::make_unique<NullDevice>(opener.sampleRate(), choice.periodFrames),
            std::move(opener), warning);
    } else {
        std::fprintf(stderr, "%s (%s)\n", kNoAudioOutputWarning, reason.toLocal8Bit().constData());
        return {std::make_unique<NullDevice>(sampleRate, choice.periodFrames),
                QString::fromUtf8(kNoAudioOutputWarning), nullptr, QString()};
    }
    SupervisedOutput* supervised = output.get();
    told->store(supervised);
    watchForDevices(*supervised);
    return {std::move(output), QString(), supervised, identity};
}

std::unique_ptr<SupervisedOutput> openPreviewOutput(const QString& name, int periodFrames,
                                                    int sampleRate, const QString& onAir) {
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
    if (outputIdentity(found.name, found.hostApi) == onAir)
        return off(QStringLiteral("it is the output on air, where the preview would be heard; "
                                  "name a separate one (headphones, a cue channel, another "
                                  "JACK client)"));
    SupervisedOutput::Opener open;
    const OutputToTell told = std::make_shared<std::atomic<SupervisedOutput*>>(nullptr);
    if (found.hostApi.contains(QLatin1String("JACK"))) {
        open = [target = found.name, wait = waitFor(told)](QString* error) {
            wait->release();
            return wait->take(JackDevice::open(target, error, {"Airloom preview", "preview_"}),
                              error);
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
    std::fprintf(stderr, "Pre-listen output: %s (%s), %d-frame periods, latency %.1f ms.\n",
                 qPrintable(found.name), qPrintable(found.hostApi), device->periodFrames(),
                 1000.0 * device->latencyFrames() / sampleRate);
    auto standIn = std::make_unique<NullDevice>(sampleRate, device->periodFrames());
    auto output =
        std::make_unique<SupervisedOutput>(std::move(device), std::move(standIn), std::move(open));
    told->store(output.get());
    watchForDevices(*output);
    return output;
}

QString listOutputDevices() {
    return describeOutputDevices(PortAudioDevice::listOutputs());
}
