#pragma once

#include "audio/outputchoice.h"
#include "audio/outputdevice.h"

#include <QString>
#include <atomic>
#include <memory>
#include <portaudio.h>
#include <pthread.h>
#include <vector>

// The sound card: an output device of PortAudio's ALSA host (a card, or PipeWire and
// PulseAudio through their ALSA plug-ins), float32 stereo. Opened at start-up, and again after
// a loss by the SupervisedOutput's worker (each open initialises PortAudio afresh once the
// lost device has been closed). Devices of PortAudio's JACK host are only listed and matched
// here: JackDevice plays into them.
//
// One thread at a time (the UI thread, or the worker that reopens a lost output) for open(),
// start(), stop() and hasFailed(); open(), start() and stop() block while PortAudio works.
// The other getters never block. The PortAudio callback runs on PortAudio's (or JACK's) thread.
class PortAudioDevice : public OutputDevice {
public:
    // The output devices PortAudio sees. ALSA and JACK are kept quiet while they look for
    // devices, here and in open() (silenceAudioLibraries).
    static std::vector<OutputDeviceInfo> listOutputs();
    // Opens the chosen output (the default one when the choice names none, or none that
    // exists: *notice then says so and names the devices; an exactDevice that is not there
    // fails) at sampleRate, or, if it refuses that, at its own rate, with a buffer that
    // covers the quantum the user set for PipeWire (coverQuantum). Null, with the reason
    // in *error, when nothing can be opened; a device of the JACK host is not opened, and
    // *jackClient names the JACK client it plays into.
    static std::unique_ptr<PortAudioDevice> open(const OutputChoice& choice, int sampleRate,
                                                 QString* error, QString* notice = nullptr,
                                                 QString* jackClient = nullptr);
    ~PortAudioDevice() override;

    int sampleRate() const override { return m_sampleRate; }
    int periodFrames() const override { return m_periodFrames; }
    int latencyFrames() const override { return m_latencyFrames; }
    std::uint64_t deviceUnderruns() const override {
        return m_underflows.load(std::memory_order_relaxed);
    }
    double callbackLoad() const override;
    // The start failed, or the stream is no longer active (its device or server is gone).
    bool hasFailed() const override;
    // The name of the device and its host API ("default (ALSA)").
    const QString& name() const { return m_name; }
    // Periods in the device's buffer.
    int periods() const { return m_periods; }

    void start(RenderSource& source) override;
    void stop() override;
    // The sound card's clock calls back every period, playing or not: a stream stopped while
    // silent would take PortAudio's (re)start, which blocks, on the way to the next fire.

private:
    PortAudioDevice() = default;
    static int callback(const void* input, void* output, unsigned long frames,
                        const PaStreamCallbackTimeInfo* timeInfo, PaStreamCallbackFlags statusFlags,
                        void* self);
    // Raises the callback's thread to real-time priority when it does not have it yet, and
    // says on stderr when that is refused.
    void checkRealtime();

    PaStream* m_stream = nullptr;
    RenderSource* m_source = nullptr;
    int m_sampleRate = 0;
    int m_periodFrames = 0;
    int m_latencyFrames = 0;
    int m_periods = 0;
    bool m_running = false;
    bool m_startFailed = false;
    QString m_name;
    // The callback's thread, set by its first call, for the real-time check.
    std::atomic<pthread_t> m_callbackThread{};
    std::atomic<bool> m_called{false};
    std::atomic<std::uint64_t> m_underflows{0};
};
