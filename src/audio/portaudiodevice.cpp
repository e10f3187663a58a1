#include "audio/portaudiodevice.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Sends stderr to /dev/null for its lifetime: ALSA and JACK print a screenful of probing
// errors while PortAudio enumerates devices on a machine without them.
class QuietStderr {
public:
    QuietStderr() {
        std::fflush(stderr);
        m_saved = ::dup(STDERR_FILENO);
        const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (m_saved >= 0 && devNull >= 0)
            ::dup2(devNull, STDERR_FILENO);
        if (devNull >= 0)
            ::close(devNull);
    }
    ~QuietStderr() {
        std::fflush(stderr);
        if (m_saved >= 0) {
            ::dup2(m_saved, STDERR_FILENO);
            ::close(m_saved);
        }
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int m_saved = -1;
};

// The default output of the default host API, else the first host API that has one.
PaDeviceIndex defaultOutput() {
    const PaDeviceIndex device = Pa_GetDefaultOutputDevice();
    if (device != paNoDevice)
        return device;
    for (PaHostApiIndex api = 0; api < Pa_GetHostApiCount(); ++api) {
        const PaHostApiInfo* info = Pa_GetHostApiInfo(api);
        if (info && info->defaultOutputDevice != paNoDevice)
            return info->defaultOutputDevice;
    }
    return paNoDevice;
}

} // namespace

std::unique_ptr<PortAudioDevice> PortAudioDevice::openDefault(int sampleRate, int periodFrames,
                                                              QString* error) {
    const auto fail = [error](const QString& reason) {
        if (error)
            *error = reason;
        return std::unique_ptr<PortAudioDevice>();
    };
    // PortAudio's JACK host would otherwise start a JACK server of its own.
    ::setenv("JACK_NO_START_SERVER", "1", 0);
    QuietStderr quiet;
    if (const PaError e = Pa_Initialize(); e != paNoError)
        return fail(QString::fromUtf8(Pa_GetErrorText(e)));
    std::unique_ptr<PortAudioDevice> device(new PortAudioDevice);
    const PaDeviceIndex index = defaultOutput();
    const PaDeviceInfo* info = index == paNoDevice ? nullptr : Pa_GetDeviceInfo(index);
    if (!info || info->maxOutputChannels < 2) {
        Pa_Terminate();
        return fail(QStringLiteral("no output device"));
    }
    PaStreamParameters out{};
    out.device = index;
    out.channelCount = 2;
    out.sampleFormat = paFloat32;
    out.suggestedLatency = std::max(info->defaultLowOutputLatency, 0.02);
    int rate = sampleRate;
    if (Pa_IsFormatSupported(nullptr, &out, rate) != paFormatIsSupported)
        rate = static_cast<int>(std::lround(info->defaultSampleRate));
    const PaError opened = Pa_OpenStream(&device->m_stream, nullptr, &out, rate,
                                         static_cast<unsigned long>(periodFrames), paNoFlag,
                                         &PortAudioDevice::callback, device.get());
    if (opened != paNoError) {
        device->m_stream = nullptr;
        Pa_Terminate();
        return fail(QString::fromUtf8(Pa_GetErrorText(opened)));
    }
    device->m_sampleRate = rate;
    device->m_periodFrames = periodFrames;
    const PaStreamInfo* stream = Pa_GetStreamInfo(device->m_stream);
    device->m_latencyFrames =
        stream ? static_cast<int>(std::lround(stream->outputLatency * rate)) : periodFrames;
    const PaHostApiInfo* api = Pa_GetHostApiInfo(info->hostApi);
    device->m_name = QStringLiteral("%1 (%2)").arg(QString::fromUtf8(info->name),
                                                   QString::fromUtf8(api ? api->name : "?"));
    return device;
}

PortAudioDevice::~PortAudioDevice() {
    stop();
    if (m_stream) {
        Pa_CloseStream(m_stream);
        Pa_Terminate();
    }
}

void PortAudioDevice::start(RenderSource& source) {
    if (m_running)
        return;
    m_source = &source;
    m_running = Pa_StartStream(m_stream) == paNoError;
}

void PortAudioDevice::stop() {
    if (!m_running)
        return;
    // Returns once the last callback has finished.
    Pa_StopStream(m_stream);
    m_running = false;
}

double PortAudioDevice::callbackLoad() const {
    return m_stream ? Pa_GetStreamCpuLoad(m_stream) : 0.0;
}

int PortAudioDevice::callback(const void*, void* output, unsigned long frames,
                              const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags statusFlags,
                              void* self) {
    auto* device = static_cast<PortAudioDevice*>(self);
    if (statusFlags & paOutputUnderflow)
        device->m_underflows.fetch_add(1, std::memory_order_relaxed);
    device->m_source->render(static_cast<float*>(output), static_cast<int>(frames));
    return paContinue;
}
