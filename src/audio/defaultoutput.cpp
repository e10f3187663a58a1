#include "audio/defaultoutput.h"

#include "audio/jackdevice.h"
#include "audio/nulldevice.h"
#include "audio/portaudiodevice.h"
#include "audio/supervisedoutput.h"

#include <cstdio>

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

} // namespace

DefaultOutput openDefaultOutput(const OutputChoice& choice, int sampleRate) {
    QString reason;
    QString notice;
    auto device = PortAudioDevice::open(choice, sampleRate, &reason, &notice);
    if (!notice.isEmpty())
        std::fprintf(stderr, "%sUsing the default output instead.\n",
                     notice.toLocal8Bit().constData());
    if (device) {
        describe(*device);
        // A lost device is reopened by its name, at its rate, never another in its place; a
        // JACK output as a JACK client of the program's own, since PortAudio's JACK host
        // stays wedged by the stream of the server that died.
        OutputChoice again = choice;
        again.device = device->name();
        again.exactDevice = true;
        const int rate = device->sampleRate();
        const bool jack = device->isJack();
        const QString jackTarget = device->deviceName();
        auto standIn = std::make_unique<NullDevice>(rate, device->periodFrames());
        auto output = std::make_unique<SupervisedOutput>(
            std::move(device), std::move(standIn),
            [again, rate, jack, jackTarget](QString* error) -> std::unique_ptr<OutputDevice> {
                if (jack) {
                    auto reopened = JackDevice::open(jackTarget, error);
                    if (reopened)
                        std::fprintf(stderr,
                                     "Audio output: JACK client into %s, %d Hz, %d-frame "
                                     "periods.\n",
                                     qPrintable(jackTarget), reopened->sampleRate(),
                                     reopened->periodFrames());
                    return reopened;
                }
                auto reopened = PortAudioDevice::open(again, rate, error);
                if (reopened)
                    describe(*reopened);
                return reopened;
            });
        SupervisedOutput* supervised = output.get();
        return {std::move(output), QString(), supervised};
    }
    std::fprintf(stderr, "%s (%s)\n", kNoAudioOutputWarning, reason.toLocal8Bit().constData());
    return {std::make_unique<NullDevice>(sampleRate, choice.periodFrames),
            QString::fromUtf8(kNoAudioOutputWarning), nullptr};
}

QString listOutputDevices() {
    return describeOutputDevices(PortAudioDevice::listOutputs());
}
