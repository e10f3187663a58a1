#include "audio/dropoutcounter.h"

#include <algorithm>
#include <cmath>

DropoutCounter::DropoutCounter(int sampleRate, int periodFrames) : m_framesPerNs(sampleRate / 1e9) {
    restart(periodFrames);
}

void DropoutCounter::restart(int periodFrames) {
    m_threshold = std::max(1, periodFrames / 2);
    m_anchored = false;
}

void DropoutCounter::sample(std::int64_t atNs, std::uint64_t frames) {
    if (m_anchored && atNs == m_lastNs)
        return; // no callback since the last sample: a stall shows once the device is back
    const double lag = m_anchored ? (atNs - m_anchorNs) * m_framesPerNs -
                                        static_cast<double>(frames - m_anchorFrames)
                                  : -1.0;
    if (lag < 0.0) {
        // First sample, or ahead of the clock: the reference from here.
        m_anchored = true;
        m_anchorNs = atNs;
        m_anchorFrames = frames;
        m_lastNs = atNs;
        m_lastLag = 0.0;
        return;
    }
    const double persistent = std::min(lag, m_lastLag);
    double absorbed = 0.0;
    if (persistent >= m_threshold) {
        ++m_dropouts;
        m_missingFrames += static_cast<std::uint64_t>(std::llround(persistent));
        absorbed = persistent;
    } else if (lag < m_threshold) {
        absorbed = std::min(lag, (atNs - m_lastNs) * m_framesPerNs * kDriftPpm * 1e-6);
    }
    // The clock's reference moves by what was counted or absorbed, so it is never counted
    // again.
    m_anchorNs += static_cast<std::int64_t>(std::llround(absorbed / m_framesPerNs));
    m_lastLag = lag - absorbed;
    m_lastNs = atNs;
}
