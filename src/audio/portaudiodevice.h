#pragma once

#include "audio/outputdevice.h"

#include <QString>
#include <atomic>
#include <memory>
#include <portaudio.h>

// The sound card: PortAudio's default output device (ALSA, or JACK when ALSA has none;
// PipeWire through either), opened once for the life of the program, float32 stereo.
//
// UI thread for openDefault(), start() and stop(), which block while PortAudio works;
// the getters never block. The PortAudio callback runs on PortAudio's thread.
class PortAudioDevice : public OutputDevice {
public:
    // Opens the default output at sampleRate (or, if it refuses that, at its own rate).
    // Null, with the reason in *error, when there is no usable output. The messages that
    // PortAudio, ALSA and JACK print while they look for devices are kept off stderr.
    static std::unique_ptr<PortAudioDevice> openDefault(int sampleRate, int periodFrames,
                                                        QString* error);
    ~PortAudioDevice() override;

    int sampleRate() const override { return m_sampleRate; }
    int periodFrames() const override { return m_periodFrames; }
    int latencyFrames() const override { return m_latencyFrames; }
    std::uint64_t deviceUnderruns() const override {
        return m_underflows.load(std::memory_order_relaxed);
    }
    double callbackLoad() const override;
    // The name of the device and its host API ("default (ALSA)").
    const QString& name() const { return m_name; }

    void start(RenderSource& source) override;
    void stop() override;

private:
    PortAudioDevice() = default;
    static int callback(const void* input, void* output, unsigned long frames,
                        const PaStreamCallbackTimeInfo* timeInfo, PaStreamCallbackFlags statusFlags,
                        void* self);

    PaStream* m_stream = nullptr;
    RenderSource* m_source = nullptr;
    int m_sampleRate = 0;
    int m_periodFrames = 0;
    int m_latencyFrames = 0;
    bool m_running = false;
    QString m_name;
    std::atomic<std::uint64_t> m_underflows{0};
};
