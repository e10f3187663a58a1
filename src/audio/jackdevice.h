#pragma once

#include "audio/outputdevice.h"

#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

struct _jack_client;
struct _jack_port;

// A JACK client's name and its two ports' names (the prefix, then 0 and 1).
struct JackNames {
    const char* client = "Airloom";
    const char* ports = "out_";
};

// A JACK client of the program's own ("Airloom", ports out_0 and out_1, connected to the
// playback ports of the JACK client named target, "system" for the sound card), float
// stereo at the server's rate and period. It reopens a JACK output whose server died:
// PortAudio's JACK host cannot close such a stream (it waits 10 minutes, then fails an
// assertion and aborts), whereas libjack closes a client of a dead server at once.
//
// One thread at a time for open(), start(), stop() and the destructor, which block briefly
// while the server answers; the getters never block. The callback runs on JACK's thread.
class JackDevice : public OutputDevice {
public:
    // jack_connect, or what a test puts in its place.
    using Connect = int (*)(_jack_client*, const char* from, const char* to);
    // Null, with the reason, when no server answers (none is started) or target has no ports.
    static std::unique_ptr<JackDevice> open(const QString& target, QString* error,
                                            Connect connect = nullptr, JackNames names = {});
    ~JackDevice() override;

    int sampleRate() const override { return m_sampleRate; }
    int periodFrames() const override { return m_periodFrames; }
    int latencyFrames() const override { return m_latencyFrames; }
    std::uint64_t deviceUnderruns() const override {
        return m_xruns.load(std::memory_order_relaxed);
    }
    // The server shut the client down, or the start failed: the client did not activate, or
    // neither of its ports reached a playback port of the target.
    bool hasFailed() const override { return m_gone.load() || m_startFailed; }

    void start(RenderSource& source) override;
    void stop() override;
    // The server's clock calls back every period, playing or not.

private:
    JackDevice() = default;
    static int process(std::uint32_t frames, void* self);

    _jack_client* m_client = nullptr;
    _jack_port* m_ports[2] = {};
    QString m_target;
    Connect m_connect = nullptr;
    RenderSource* m_source = nullptr;
    std::vector<float> m_interleaved; // one chunk, allocated at the open
    int m_sampleRate = 0;
    int m_periodFrames = 0;
    int m_latencyFrames = 0;
    bool m_active = false;
    bool m_startFailed = false;
    std::atomic<bool> m_gone{false};
    std::atomic<std::uint64_t> m_xruns{0};
};
