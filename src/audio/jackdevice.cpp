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

// libjack's client of the given names ("Airloom" with its ports out_0 and out_1 on air).
class LibJackClient : public JackClient {
public:
    static std::unique_ptr<LibJackClient> open(JackNames names, QString* error) {
        // libjack would print a screenful at each attempt while the server is away.
        silenceAudioLibraries();
        jack_status_t status{};
        jack_client_t* client = jack_client_open(names.client, JackNoStartServer, &status);
        if (!client) {
            *error = QStringLiteral("no JACK server");
            return nullptr;
        }
        std::unique_ptr<LibJackClient> jack(new LibJackClient(client));
        for (int channel = 0; channel < 2; ++channel) {
            const QByteArray name = names.ports + QByteArray::number(channel);
            jack->m_ports[channel] = jack_port_register(
                client, name.constData(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
            if (!jack->m_ports[channel]) {
                *error = QStringLiteral("JACK refused the output ports");
                return nullptr;
            }
        }
        return jack;
    }
    ~LibJackClient() override {
        // Returns at once when the server is gone.
        jack_client_close(m_client);
    }

    int sampleRate() const override { return static_cast<int>(jack_get_sample_rate(m_client)); }
    int bufferSize() const override { return static_cast<int>(jack_get_buffer_size(m_client)); }

    void listen(JackDevice& device) override {
        m_device = &device;
        jack_on_shutdown(
            m_client, [](void* self) { static_cast<LibJackClient*>(self)->m_device->serverGone(); },
            this);
        jack_set_xrun_callback(
            m_client,
            [](void* self) {
                static_cast<LibJackClient*>(self)->m_device->xrun();
                return 0;
            },
            this);
        jack_set_port_connect_callback(
            m_client,
            [](jack_port_id_t, jack_port_id_t, int, void* self) {
                static_cast<LibJackClient*>(self)->m_device->graphChanged();
            },
            this);
        jack_set_graph_order_callback(
            m_client,
            [](void* self) {
                static_cast<LibJackClient*>(self)->m_device->graphChanged();
                return 0;
            },
            this);
        jack_set_port_registration_callback(
            m_client,
            [](jack_port_id_t id, int registered, void* self) {
                auto* jack = static_cast<LibJackClient*>(self);
                if (jack_port_t* port = jack_port_by_id(jack->m_client, id); port && registered)
                    jack->m_device->portRegistered(QString::fromUtf8(jack_port_name(port)));
            },
            this);
        jack_set_buffer_size_callback(
            m_client,
            [](jack_nframes_t frames, void* self) {
                static_cast<LibJackClient*>(self)->m_device->periodChanged(
                    static_cast<int>(frames));
                return 0;
            },
            this);
        jack_set_process_callback(
            m_client,
            [](jack_nframes_t frames, void* self) {
                auto* jack = static_cast<LibJackClient*>(self);
                jack->m_device->process(
                    static_cast<float*>(jack_port_get_buffer(jack->m_ports[0], frames)),
                    static_cast<float*>(jack_port_get_buffer(jack->m_ports[1], frames)), frames);
                return 0;
            },
            this);
    }
    bool activate() override { return jack_activate(m_client) == 0; }
    // Returns once the process callback has run for the last time.
    void deactivate() override { jack_deactivate(m_client); }

    QStringList playbackPorts(const QString& target) override {
        const QByteArray pattern =
            (QLatin1Char('^') + QRegularExpression::escape(target) + QLatin1Char(':')).toUtf8();
        QStringList names;
        const char** ports =
            jack_get_ports(m_client, pattern.constData(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput);
        for (const char** port = ports; port && *port; ++port)
            names << QString::fromUtf8(*port);
        jack_free(ports);
        return names;
    }
    int connect(int channel, const QString& to) override {
        return jack_connect(m_client, jack_port_name(m_ports[channel]), to.toUtf8().constData());
    }
    int connections(int channel) override { return jack_port_connected(m_ports[channel]); }
    int playbackLatency(const QString& port) override {
        jack_latency_range_t range{};
        if (jack_port_t* found = jack_port_by_name(m_client, port.toUtf8().constData()))
            jack_port_get_latency_range(found, JackPlaybackLatency, &range);
        return static_cast<int>(range.max);
    }

private:
    explicit LibJackClient(jack_client_t* client) : m_client(client) {}
    jack_client_t* m_client;
    jack_port_t* m_ports[2] = {};
    JackDevice* m_device = nullptr;
};

} // namespace

std::unique_ptr<JackDevice> JackDevice::open(const QString& target, QString* error,
                                             JackNames names) {
    auto client = LibJackClient::open(names, error);
    if (!client)
        return nullptr;
    return std::make_unique<JackDevice>(std::move(client), target);
}

JackDevice::JackDevice(std::unique_ptr<JackClient> client, const QString& target)
    : m_client(std::move(client)), m_target(target), m_sampleRate(m_client->sampleRate()),
      m_periodFrames(m_client->bufferSize()) {
    m_interleaved.resize(2 * kChunkFrames);
    // PipeWire's JACK layer reports 0 for its sinks: a period is the least there is.
    const QStringList targets = m_client->playbackPorts(m_target);
    if (!targets.isEmpty())
        m_portLatency = m_client->playbackLatency(targets.front());
    m_client->listen(*this);
}

JackDevice::~JackDevice() {
    stop();
}

bool JackDevice::hasFailed() const {
    if (m_gone.load() || m_startFailed)
        return true;
    // A server may make the connections a moment after it accepted them (PipeWire's JACK
    // layer does): only connections seen and then gone count.
    if (m_active && m_graphChanged.exchange(false)) {
        const bool linked = m_client->connections(0) + m_client->connections(1) > 0;
        m_unlinked = m_linked && !linked;
        m_linked = m_linked || linked;
    }
    return m_unlinked;
}

void JackDevice::start(RenderSource& source) {
    if (m_active)
        return;
    m_source = &source;
    m_active = m_client->activate();
    const QStringList targets = m_active ? m_client->playbackPorts(m_target) : QStringList();
    m_startFailed = targets.isEmpty();
    if (m_startFailed)
        return;
    // A mono target takes both channels. An output that reaches no playback port is not
    // heard, however well its callback runs: it has not started.
    int reached = 0;
    for (int channel = 0; channel < 2; ++channel) {
        const QString& to = targets.value(channel, targets.front());
        const int result = m_client->connect(channel, to);
        if (result == 0 || result == EEXIST)
            ++reached;
        else
            std::fprintf(stderr, "Audio output: JACK did not connect out_%d to %s (%d).\n", channel,
                         qPrintable(to), result);
    }
    m_startFailed = reached == 0;
}

void JackDevice::stop() {
    if (!m_active)
        return;
    m_client->deactivate();
    m_active = false;
}

void JackDevice::portRegistered(const QString& name) {
    if (m_appeared && name.startsWith(m_target + QLatin1Char(':')))
        m_appeared();
}

void JackDevice::waitForTarget(std::function<void()> appeared) {
    m_appeared = std::move(appeared);
    m_active = m_client->activate();
}

void JackDevice::process(float* left, float* right, std::uint32_t frames) noexcept {
    if (!m_source) {
        // Waiting for the target: not connected, nothing to play.
        std::fill(left, left + frames, 0.0f);
        std::fill(right, right + frames, 0.0f);
        return;
    }
    for (std::uint32_t done = 0; done < frames;) {
        const int n = static_cast<int>(std::min<std::uint32_t>(frames - done, kChunkFrames));
        float* interleaved = m_interleaved.data();
        m_source->render(interleaved, n);
        for (int i = 0; i < n; ++i) {
            left[done + i] = interleaved[2 * i];
            right[done + i] = interleaved[2 * i + 1];
        }
        done += static_cast<std::uint32_t>(n);
    }
}

void JackWait::release() {
    m_waiting.reset();
}

std::unique_ptr<OutputDevice> JackWait::take(std::unique_ptr<JackDevice> device, QString* error) {
    if (!device || device->targetIsThere())
        return device;
    *error = QStringLiteral("its JACK ports are not there");
    device->waitForTarget(m_appeared);
    // Ports registered before the client listened.
    if (device->targetIsThere())
        m_appeared();
    m_waiting = std::move(device);
    return nullptr;
}
