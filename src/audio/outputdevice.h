#pragma once

#include <cstdint>
#include <optional>

// What an output device drives: the engine's mixer.
class RenderSource {
public:
    virtual ~RenderSource() = default;
    // Output callback thread: fills frames interleaved stereo float frames. Never blocks,
    // allocates, locks or logs.
    virtual void render(float* out, int frames) noexcept = 0;
    // Only devices whose clock the caller drives (the manual device) call this, on their
    // rendering thread, before render: it blocks until every playing cart's decoder has the
    // next frames ready or has reached its end, so a rendering never has decoder gaps.
    virtual void waitUntilReady(int frames) = 0;
    // Output callback thread, after render: every frame rendered from now on is silence and
    // changes nothing until the UI thread hands a play over or changes one (and wakes the
    // device). A device may then stop calling render until it is woken.
    virtual bool isSilent() const noexcept = 0;
};

// An audio output: a sample rate, a period, a latency and a callback that pulls
// interleaved stereo float frames from a RenderSource.
//
// UI thread. start() and stop() may block briefly while the device starts or stops; the
// getters never block.
class OutputDevice {
public:
    virtual ~OutputDevice() = default;

    virtual int sampleRate() const = 0;
    // Frames per callback (a hint for devices that may vary it).
    virtual int periodFrames() const = 0;
    // Frames between the callback rendering a frame and that frame being heard.
    virtual int latencyFrames() const = 0;
    // Periods the device itself reported as late (buffer underflows); 0 when it cannot tell.
    virtual std::uint64_t deviceUnderruns() const { return 0; }
    // Runs of frames the listener missed, and the frames, counted against the clock.
    struct Dropouts {
        std::uint64_t count = 0;
        std::uint64_t frames = 0;
    };
    // Since the start; none when the device does not count them (nothing heard).
    virtual std::optional<Dropouts> dropouts() const { return std::nullopt; }
    // The share of real time spent in the render callback, 0..1; 0 when unknown.
    virtual double callbackLoad() const { return 0.0; }
    // The device stopped on its own or never started: a failed start, a stream ended by an
    // error (an unplugged interface, a server gone). Never blocks.
    virtual bool hasFailed() const { return false; }

    // Starts calling source.render(); source must outlive stop() or the device.
    virtual void start(RenderSource& source) = 0;
    // After it returns the callback is no longer running and will not run again.
    virtual void stop() = 0;
    // UI thread, never blocks: a play was handed over or changed. A device that rests while
    // its source is silent calls render again at once; the others ignore it.
    virtual void wake() {}
};
