#include "audio/portaudiodevice.h"

#include "audio/libraryhooks.h"

#include <QByteArray>
#include <QThread>
#include <algorithm>
#include <alsa/asoundlib.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pa_linux_alsa.h>
#include <sched.h>

namespace {

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

// PIPEWIRE_LATENCY as the user set it before the program set its own; empty when unset.
const QByteArray& userPipewireLatency() {
    static const QByteArray latency = qgetenv("PIPEWIRE_LATENCY");
    return latency;
}

// The type of the ALSA PCM named name ("hw", "pipewire", "pulse"), through its definition in
// ALSA's configuration; empty when it has none.
QByteArray alsaPcmType(const QByteArray& name) {
    snd_config_t* pcm = nullptr;
    snd_config_t* type = nullptr;
    const char* text = nullptr;
    if (snd_config_update() < 0 ||
        snd_config_search_definition(snd_config, "pcm", name.constData(), &pcm) < 0)
        return {};
    QByteArray found;
    if (snd_config_search(pcm, "type", &type) == 0 && snd_config_get_string(type, &text) == 0)
        found = text;
    snd_config_delete(pcm);
    return found;
}

// PortAudio for as long as it lives, with the settings it reads at its initialisation.
// ok() is false when PortAudio could not start.
class PortAudioSession {
public:
    explicit PortAudioSession(int periodFrames, int sampleRate) {
        // PortAudio's JACK host would otherwise start a JACK server of its own.
        ::setenv("JACK_NO_START_SERVER", "1", 0);
        // PipeWire's ALSA layer chooses long buffers unless told the latency; a latency the
        // user set stays (the buffer is made to cover it).
        if (userPipewireLatency().isEmpty()) {
            const QByteArray latency =
                QByteArray::number(periodFrames) + '/' + QByteArray::number(sampleRate);
            ::setenv("PIPEWIRE_LATENCY", latency.constData(), 1);
        }
        silenceAudioLibraries();
        m_error = Pa_Initialize();
    }
    ~PortAudioSession() {
        if (ok())
            Pa_Terminate();
    }
    PortAudioSession(const PortAudioSession&) = delete;
    PortAudioSession& operator=(const PortAudioSession&) = delete;

    bool ok() const { return m_error == paNoError; }
    QString error() const { return QString::fromUtf8(Pa_GetErrorText(m_error)); }
    // Keeps PortAudio initialised past this object, for the device that it opened.
    void keep() { m_error = paNotInitialized; }

    // The devices with outputs, and their PortAudio indexes.
    std::vector<OutputDeviceInfo> outputs(std::vector<PaDeviceIndex>* indexes) const {
        std::vector<OutputDeviceInfo> list;
        for (PaDeviceIndex i = 0; ok() && i < Pa_GetDeviceCount(); ++i) {
            const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
            if (!info || info->maxOutputChannels < 1)
                continue;
            const PaHostApiInfo* api = Pa_GetHostApiInfo(info->hostApi);
            list.push_back({QString::fromUtf8(api ? api->name : "?"), QString::fromUtf8(info->name),
                            info->maxOutputChannels, info->defaultSampleRate,
                            api && api->defaultOutputDevice == i});
            if (indexes)
                indexes->push_back(i);
        }
        return list;
    }

private:
    PaError m_error = paNotInitialized;
};

} // namespace

std::vector<OutputDeviceInfo> PortAudioDevice::listOutputs() {
    PortAudioSession session(OutputChoice::kDefaultPeriodFrames, 48000);
    return session.outputs(nullptr);
}

std::unique_ptr<PortAudioDevice> PortAudioDevice::open(const OutputChoice& wanted, int sampleRate,
                                                       QString* error, QString* notice,
                                                       QString* jackClient) {
    const auto fail = [error](const QString& reason) {
        if (error)
            *error = reason;
        return std::unique_ptr<PortAudioDevice>();
    };
    const int userQuantum = userQuantumFrames(userPipewireLatency(), sampleRate);
    const OutputChoice choice = coverQuantum(wanted, userQuantum);
    PortAudioSession session(choice.periodFrames, sampleRate);
    if (!session.ok())
        return fail(session.error());
    std::vector<PaDeviceIndex> indexes;
    const DeviceMatch match = matchOutputDevice(session.outputs(&indexes), choice.device);
    if (notice)
        *notice = match.error;
    if (choice.exactDevice && match.index < 0)
        return fail(QStringLiteral("%1 is not there").arg(choice.device));
    const PaDeviceIndex index = match.index >= 0 ? indexes[match.index] : defaultOutput();
    const PaDeviceInfo* info = index == paNoDevice ? nullptr : Pa_GetDeviceInfo(index);
    if (!info || info->maxOutputChannels < 2)
        return fail(QStringLiteral("no output device"));
    const PaHostApiInfo* api = Pa_GetHostApiInfo(info->hostApi);
    if (api && api->type == paJACK) {
        // Played through a JACK client of the program's own, which watches its connections.
        if (jackClient)
            *jackClient = QString::fromUtf8(info->name);
        return fail(QStringLiteral("%1 is on the JACK host").arg(QString::fromUtf8(info->name)));
    }
    if (choice.periodFrames != wanted.periodFrames) {
        static std::atomic<bool> told{false};
        if (!told.exchange(true))
            std::fprintf(stderr,
                         "Audio output: PIPEWIRE_LATENCY=%s asks PipeWire for %d-frame quanta; "
                         "opening %d-frame periods to cover them.\n",
                         userPipewireLatency().constData(), userQuantum, choice.periodFrames);
    }

    std::unique_ptr<PortAudioDevice> device(new PortAudioDevice);
    PaStreamParameters out{};
    out.device = index;
    out.channelCount = 2;
    out.sampleFormat = paFloat32;
    int rate = sampleRate;
    if (Pa_IsFormatSupported(nullptr, &out, rate) != paFormatIsSupported)
        rate = static_cast<int>(std::lround(info->defaultSampleRate));
    const auto framesPerBuffer = static_cast<unsigned long>(choice.periodFrames);
    // The fewest periods the device opens with, unless the station chose a number.
    const int fewest = choice.periods > 0 ? choice.periods : 2;
    const int most = choice.periods > 0 ? choice.periods : 4;
    PaError opened = paNoError;
    for (int periods = fewest; periods <= most; ++periods) {
        out.suggestedLatency = static_cast<double>(periods * choice.periodFrames) / rate;
        opened = Pa_OpenStream(&device->m_stream, nullptr, &out, rate, framesPerBuffer, paNoFlag,
                               &PortAudioDevice::callback, device.get());
        if (opened == paNoError) {
            device->m_periods = periods;
            break;
        }
        device->m_stream = nullptr;
    }
    if (opened != paNoError)
        return fail(QString::fromUtf8(Pa_GetErrorText(opened)));
    if (api && api->type == paALSA)
        PaAlsa_EnableRealtimeScheduling(device->m_stream, 1);
    session.keep();
    device->m_sampleRate = rate;
    device->m_periodFrames = choice.periodFrames;
    const int buffer = device->m_periods * choice.periodFrames;
    if (api && api->type == paALSA && alsaPcmType(info->name) == "pipewire") {
        // PipeWire's ALSA layer reports its own buffer only; the graph holds one quantum more:
        // ours, or the user's when longer.
        device->m_latencyFrames = buffer + std::max(choice.periodFrames, userQuantum);
    } else {
        const PaStreamInfo* stream = Pa_GetStreamInfo(device->m_stream);
        const long reported = stream ? std::lround(stream->outputLatency * rate) : 0;
        device->m_latencyFrames = reported > 0 ? static_cast<int>(reported) : buffer;
    }
    device->m_name =
        outputIdentity(QString::fromUtf8(info->name), QString::fromUtf8(api ? api->name : "?"));
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
    m_startFailed = !m_running;
    if (m_running)
        checkRealtime();
}

void PortAudioDevice::checkRealtime() {
    // The output thread is known from its first callback, a period or two after the start.
    for (int waited = 0; !m_called.load(std::memory_order_acquire); ++waited) {
        if (waited == 500)
            return; // a stalled output has worse troubles, told elsewhere
        QThread::msleep(1);
    }
    const pthread_t thread = m_callbackThread.load(std::memory_order_relaxed);
    int policy = SCHED_OTHER;
    sched_param param{};
    if (pthread_getschedparam(thread, &policy, &param) == 0 &&
        (policy == SCHED_FIFO || policy == SCHED_RR))
        return;
    // Not real-time (a JACK server started without it, or a host that did not ask): ask.
    param.sched_priority = std::min(70, sched_get_priority_max(SCHED_FIFO));
    if (const int e = pthread_setschedparam(thread, SCHED_FIFO, &param); e != 0)
        std::fprintf(stderr,
                     "Audio output: real-time scheduling refused (%s); the sound may drop out "
                     "while the machine is busy. Add the user to the audio group, which the "
                     "JACK server's package allows it.\n",
                     std::strerror(e));
}

void PortAudioDevice::stop() {
    if (!m_running)
        return;
    // Returns once the last callback has finished.
    Pa_StopStream(m_stream);
    m_running = false;
}

bool PortAudioDevice::hasFailed() const {
    return m_startFailed || (m_running && Pa_IsStreamActive(m_stream) != 1);
}

double PortAudioDevice::callbackLoad() const {
    return m_stream ? Pa_GetStreamCpuLoad(m_stream) : 0.0;
}

int PortAudioDevice::callback(const void*, void* output, unsigned long frames,
                              const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags statusFlags,
                              void* self) {
    auto* device = static_cast<PortAudioDevice*>(self);
    if (!device->m_called.load(std::memory_order_relaxed)) {
        device->m_callbackThread.store(pthread_self(), std::memory_order_relaxed);
        device->m_called.store(true, std::memory_order_release);
    }
    if (statusFlags & paOutputUnderflow)
        device->m_underflows.fetch_add(1, std::memory_order_relaxed);
    device->m_source->render(static_cast<float*>(output), static_cast<int>(frames));
    return paContinue;
}
