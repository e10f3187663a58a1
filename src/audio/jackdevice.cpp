#include "audio/jackdevice.h"

#include "audio/libraryhooks.h"

#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <jack/jack.h>

namespace {

// Frames rendered per pass; a longer JACK period is rendered in several.
constexpr int kChunkFrames = 1024;

} // namespace

std::unique_ptr<JackDevice> JackDevice::open(const QString& target, QString* error, Connect connect,
                                             JackNames names) {
    // libjack would print a screenful at each attempt while the server is away.
    silenceAudioLibraries();
    jack_status_t status{};
    jack_client_t* client = jack_client_open(names.client, JackNoStartServer, &status);
    if (!client) {
        *error = QStringLiteral("no JACK server");
        return nullptr;
    }
    std::unique_ptr<JackDevice> device(new JackDevice);
    device->m_client = client;
    device->m_target = target;
    device->m_connect = connect ? connect : &jack_connect;
    device->m_sampleRate = static_cast<int>(jack_get_sample_rate(client));
    device->m_periodFrames = static_cast<int>(jack_get_buffer_size(client));
    device->m_latencyFrames = device->m_periodFrames;
    device->m_interleaved.resize(2 * kChunkFrames);
    for (int channel = 0; channel < 2; ++channel) {
        const QByteArray name = names.ports + QByteArray::number(channel);
        device->m_ports[channel] = jack_port_register(client, name.constData(),
                                                      JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        if (!device->m_ports[channel]) {
            *error = QStringLiteral("JACK refused the output ports");
            return nullptr;
        }
    }
    jack_on_shutdown(
        client, [](void* self) { static_cast<JackDevice*>(self)->m_gone.store(true); },
        device.get());
    jack_set_xrun_callback(
        client,
        [](void* self) {
            static_cast<JackDevice*>(self)->m_xruns.fetch_add(1, std::memory_order_relaxed);
            return 0;
        },
        device.get());
    jack_set_process_callback(client, &JackDevice::process, device.get());
    return device;
}

JackDevice::~JackDevice() {
    stop();
    // Returns at once when the server is gone.
    if (m_client)
        jack_client_close(m_client);
}

void JackDevice::start(RenderSource& source) {
    if (m_active)
        return;
    m_source = &source;
    m_active = jack_activate(m_client) == 0;
    const QByteArray pattern =
        (QRegularExpression::escape(m_target) + QStringLiteral(":")).toUtf8();
    const char** targets = m_active ? jack_get_ports(m_client, pattern.constData(),
                                                     JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput)
                                    : nullptr;
    m_startFailed = !targets;
    if (!targets)
        return;
    // A mono target takes both channels. An output that reaches no playback port is not
    // heard, however well its callback runs: it has not started.
    int reached = 0;
    for (int channel = 0; channel < 2; ++channel) {
        const char* to = channel == 1 && targets[1] ? targets[1] : targets[0];
        const int result = m_connect(m_client, jack_port_name(m_ports[channel]), to);
        if (result == 0 || result == EEXIST)
            ++reached;
        else
            std::fprintf(stderr, "Audio output: JACK did not connect %s to %s (%d).\n",
                         jack_port_name(m_ports[channel]), to, result);
    }
    m_startFailed = reached == 0;
    jack_latency_range_t range{};
    jack_port_get_latency_range(jack_port_by_name(m_client, targets[0]), JackPlaybackLatency,
                                &range);
    m_latencyFrames = std::max(m_periodFrames, static_cast<int>(range.max));
    jack_free(targets);
}

void JackDevice::stop() {
    if (!m_active)
        return;
    // Returns once the process callback has run for the last time.
    jack_deactivate(m_client);
    m_active = false;
}

int JackDevice::process(std::uint32_t frames, void* self) {
    auto* device = static_cast<JackDevice*>(self);
    auto* left = static_cast<float*>(jack_port_get_buffer(device->m_ports[0], frames));
    auto* right = static_cast<float*>(jack_port_get_buffer(device->m_ports[1], frames));
    for (std::uint32_t done = 0; done < frames;) {
        const int n = static_cast<int>(std::min<std::uint32_t>(frames - done, kChunkFrames));
        float* interleaved = device->m_interleaved.data();
        device->m_source->render(interleaved, n);
        for (int i = 0; i < n; ++i) {
            left[done + i] = interleaved[2 * i];
            right[done + i] = interleaved[2 * i + 1];
        }
        done += static_cast<std::uint32_t>(n);
    }
    return 0;
}
