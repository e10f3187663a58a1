#pragma once

#include "audio/outputdevice.h"

#include <QString>
#include <QStringList>
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class JackDevice;

// What JackDevice asks of the JACK server: libjack's calls for a client of the program's own
// with two output ports, or a graph of a test's own. listen() makes the server's callbacks
// reach the device (process, shutdown, xrun, the period, and each change of connections or
// graph order).
// The thread that owns the device calls it; a call may block briefly while the server answers.
class JackClient {
public:
    virtual ~JackClient() = default;
    virtual int sampleRate() const = 0;
    virtual int bufferSize() const = 0;
    virtual void listen(JackDevice& device) = 0;
    virtual bool activate() = 0;
    virtual void deactivate() = 0;
    // The input ports of the client named target, in the server's order.
    virtual QStringList playbackPorts(const QString& target) = 0;
    // Connects our port of channel (0, 1) to the port named to: 0, or an errno.
    virtual int connect(int channel, const QString& to) = 0;
    // The connections of our port of channel.
    virtual int connections(int channel) = 0;
    // The largest playback latency the port named port reports, in frames.
    virtual int playbackLatency(const QString& port) = 0;
};

// A JACK client's name and its two ports' names (the prefix, then 0 and 1).
struct JackNames {
    const char* client = "Airloom";
    const char* ports = "out_";
};

// A JACK client of the program's own ("Airloom", ports out_0 and out_1, connected to the
// playback ports of the JACK client named target: "system" for a card under jackd, the sink's
// name under PipeWire's JACK layer), float stereo at the server's rate and period. libjack
// closes a client of a dead server at once, and tells each change of the graph.
//
// One thread at a time for open(), start(), stop(), hasFailed() and the destructor, which
// block briefly while the server answers; the other getters never block. The process
// callback runs on JACK's thread; the others only set atomics.
class JackDevice : public OutputDevice {
public:
    // Null, with the reason, when no server answers (none is started) or JACK refuses the
    // ports.
    static std::unique_ptr<JackDevice> open(const QString& target, QString* error,
                                            JackNames names = {});
    // Over a client of a test's own.
    JackDevice(std::unique_ptr<JackClient> client, const QString& target);
    ~JackDevice() override;

    int sampleRate() const override { return m_sampleRate; }
    int periodFrames() const override { return m_periodFrames.load(std::memory_order_relaxed); }
    // The server's playback latency of the ports it plays into, at least a period (a period
    // the server may change while it runs: PipeWire's quantum).
    int latencyFrames() const override { return std::max(periodFrames(), m_portLatency); }
    std::uint64_t deviceUnderruns() const override {
        return m_xruns.load(std::memory_order_relaxed);
    }
    // The server shut the client down; the start failed (the client did not activate, or
    // neither port reached a playback port of the target); or every connection of both
    // ports has gone since (the target left the graph: nothing is heard). A lost output
    // is opened again as a new client, which connects to the target's ports of the same
    // names once they are back.
    bool hasFailed() const override;

    void start(RenderSource& source) override;
    void stop() override;
    // The server's clock calls back every period, playing or not.

    // The server's callbacks (JackClient::listen). process: JACK's thread, renders frames
    // into the two ports' buffers; the others set a flag.
    void process(float* left, float* right, std::uint32_t frames) noexcept;
    void serverGone() { m_gone.store(true); }
    void xrun() { m_xruns.fetch_add(1, std::memory_order_relaxed); }
    void graphChanged() { m_graphChanged.store(true); }
    void periodChanged(int frames) { m_periodFrames.store(frames, std::memory_order_relaxed); }
    // JACK's notification thread: a port of the target's name calls the function given to
    // waitForTarget.
    void portRegistered(const QString& name);

    // The target has input ports in the graph now.
    bool targetIsThere() { return !m_client->playbackPorts(m_target).isEmpty(); }
    // Activates the client without playing, to hear of ports registered: appeared is called
    // (on JACK's thread) when one of the target's name is.
    void waitForTarget(std::function<void()> appeared);

private:
    std::unique_ptr<JackClient> m_client;
    QString m_target;
    RenderSource* m_source = nullptr;
    std::vector<float> m_interleaved; // one chunk, allocated at the open
    int m_sampleRate = 0;
    std::atomic<int> m_periodFrames{0};
    int m_portLatency = 0;
    bool m_active = false;
    bool m_startFailed = false;
    mutable bool m_linked = false;
    mutable bool m_unlinked = false;
    std::atomic<bool> m_gone{false};
    mutable std::atomic<bool> m_graphChanged{false};
    std::atomic<std::uint64_t> m_xruns{0};
    std::function<void()> m_appeared; // set before the client is activated
};

// The attempts of an output on the JACK path while its target is away (a sink removed from
// PipeWire's graph while the server runs): the client of an attempt that finds none of the
// target's ports stays, listening, until the next attempt, and calls appeared as soon as
// ports of the target's name are registered, so the output need not wait for its back-off.
// The output's worker thread calls take(); appeared runs on JACK's thread.
class JackWait {
public:
    explicit JackWait(std::function<void()> appeared) : m_appeared(std::move(appeared)) {}
    // Closes the waiting client, before another opens.
    void release();
    // The device when its target has ports; else null with the reason, the device waiting.
    std::unique_ptr<OutputDevice> take(std::unique_ptr<JackDevice> device, QString* error);

private:
    std::function<void()> m_appeared;
    std::unique_ptr<JackDevice> m_waiting;
};
