#pragma once

#include <cstdint>

// Dropouts as the listener hears them: the frames a device's callback has taken against the
// frames the monotonic clock says it should have taken by then. A callback that comes late
// but catches up (it takes two periods at once) lost nothing; a period the device skipped, or
// a stall it came back from, leaves the callbacks behind the clock for good, and that lag is
// what went missing. Only a lag seen on two samples in a row counts (a late callback that has
// not caught up yet is not a loss), and only from half a period on (scheduling jitter). A
// device ahead of the clock moves the reference (a faster clock, a callback early), and a
// lag under the threshold is absorbed at up to kDriftPpm (a slower clock).
//
// Fed by the UI thread's watchdog with the last callback's time and frame count (atomics the
// callback stores): pure arithmetic, never blocks.
class DropoutCounter {
public:
    // A sound card's clock is within 100 ppm of the system's.
    static constexpr double kDriftPpm = 200.0;

    DropoutCounter(int sampleRate, int periodFrames);
    // The device (re)started, with periods of periodFrames: the next sample is the new
    // reference. A loss is never counted as dropouts.
    void restart(int periodFrames);
    // By its callback at atNs (the monotonic clock), the device had taken frames in all.
    void sample(std::int64_t atNs, std::uint64_t frames);

    // Runs of missing frames, and the frames, since the start.
    std::uint64_t dropouts() const { return m_dropouts; }
    std::uint64_t missingFrames() const { return m_missingFrames; }

private:
    const double m_framesPerNs;
    double m_threshold = 1.0; // frames
    bool m_anchored = false;
    std::int64_t m_anchorNs = 0;
    std::uint64_t m_anchorFrames = 0;
    std::int64_t m_lastNs = 0;
    double m_lastLag = 0.0;
    std::uint64_t m_dropouts = 0;
    std::uint64_t m_missingFrames = 0;
};
