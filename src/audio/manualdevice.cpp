#include "audio/manualdevice.h"

#include <algorithm>

ManualDevice::ManualDevice(int sampleRate, int periodFrames)
    : m_sampleRate(sampleRate), m_periodFrames(std::max(1, periodFrames)),
      m_period(static_cast<std::size_t>(m_periodFrames) * 2) {}

void ManualDevice::render(int frames) {
    while (frames > 0) {
        const int n = std::min(frames, m_periodFrames);
        if (m_source) {
            m_source->waitUntilReady(n);
            m_source->render(m_period.data(), n);
        } else {
            std::fill(m_period.begin(), m_period.end(), 0.0f);
        }
        m_captured.insert(m_captured.end(), m_period.begin(),
                          m_period.begin() + static_cast<std::ptrdiff_t>(n) * 2);
        m_renderedFrames += n;
        frames -= n;
    }
}
