#pragma once

#include "audio/outputdevice.h"

#include <vector>

// The test clock of the audio layer: nothing plays until the test renders frames, and
// everything rendered is captured. Rendering waits for the decoders (never for the wall
// clock), so a capture never has decoder gaps and is the same on every run.
//
// UI thread (the test's) only. render() blocks until the decoders have the frames.
class ManualDevice : public OutputDevice {
public:
    explicit ManualDevice(int sampleRate = 48000, int periodFrames = 256);

    int sampleRate() const override { return m_sampleRate; }
    int periodFrames() const override { return m_periodFrames; }
    int latencyFrames() const override { return m_latencyFrames; }
    // What is heard lags what is rendered by this many frames (0 unless set).
    void setLatencyFrames(int frames) { m_latencyFrames = frames; }

    void start(RenderSource& source) override { m_source = &source; }
    void stop() override { m_source = nullptr; }
    // The test's rendering is the clock: nothing rests.

    // Runs the render callback on the calling thread for frames frames, one period at a
    // time (the last one shorter when frames is not a whole number of periods), and
    // appends the output to the capture. Silence when the device is not started.
    void render(int frames);
    // Renders count whole periods.
    void renderPeriods(int count) { render(count * m_periodFrames); }

    // Everything rendered since the last clearCapture(), interleaved stereo.
    const std::vector<float>& captured() const { return m_captured; }
    void clearCapture() { m_captured.clear(); }
    // Frames rendered since the start; the device's clock.
    long long renderedFrames() const { return m_renderedFrames; }

private:
    const int m_sampleRate;
    const int m_periodFrames;
    int m_latencyFrames = 0;
    RenderSource* m_source = nullptr;
    std::vector<float> m_captured;
    std::vector<float> m_period;
    long long m_renderedFrames = 0;
};
