#include "audio/defaultoutput.h"

#include "audio/nulldevice.h"
#include "audio/portaudiodevice.h"

#include <cstdio>

DefaultOutput openDefaultOutput(int sampleRate, int periodFrames) {
    QString reason;
    if (auto device = PortAudioDevice::openDefault(sampleRate, periodFrames, &reason))
        return {std::move(device), QString()};
    std::fprintf(stderr, "%s (%s)\n", kNoAudioOutputWarning, reason.toLocal8Bit().constData());
    return {std::make_unique<NullDevice>(sampleRate, periodFrames),
            QString::fromUtf8(kNoAudioOutputWarning)};
}
