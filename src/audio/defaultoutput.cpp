#include "audio/defaultoutput.h"

#include "audio/nulldevice.h"
#include "audio/portaudiodevice.h"

#include <cstdio>

DefaultOutput openDefaultOutput(const OutputChoice& choice, int sampleRate) {
    QString reason;
    QString notice;
    auto device = PortAudioDevice::open(choice, sampleRate, &reason, &notice);
    if (!notice.isEmpty())
        std::fprintf(stderr, "%sUsing the default output instead.\n",
                     notice.toLocal8Bit().constData());
    if (device) {
        const QString periods = device->periods() > 0
                                    ? QStringLiteral("%1 periods of %2 frames")
                                          .arg(device->periods())
                                          .arg(device->periodFrames())
                                    : QStringLiteral("periods set by the JACK server");
        std::fprintf(stderr, "Audio output: %s, %d Hz, %s, latency %.1f ms.\n",
                     device->name().toLocal8Bit().constData(), device->sampleRate(),
                     periods.toLocal8Bit().constData(),
                     1000.0 * device->latencyFrames() / device->sampleRate());
        return {std::move(device), QString()};
    }
    std::fprintf(stderr, "%s (%s)\n", kNoAudioOutputWarning, reason.toLocal8Bit().constData());
    return {std::make_unique<NullDevice>(sampleRate, choice.periodFrames),
            QString::fromUtf8(kNoAudioOutputWarning)};
}

QString listOutputDevices() {
    return describeOutputDevices(PortAudioDevice::listOutputs());
}
