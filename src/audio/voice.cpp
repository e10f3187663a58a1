#include "audio/voice.h"

Stream::Stream(std::shared_ptr<Cart> cart, int outputRate, std::int64_t skipFrames,
               std::size_t ringFrames)
    : m_cart(std::move(cart)), m_outputRate(outputRate), m_skipFrames(skipFrames),
      m_ring(ringFrames) {}

std::chrono::nanoseconds Stream::timeUntilRoom() const {
    const std::size_t free = m_ring.writableFrames();
    const std::size_t missing = free < roomFrames() ? roomFrames() - free : 0;
    return std::chrono::nanoseconds(static_cast<std::int64_t>(missing) * 1000000000 / m_outputRate);
}

void Stream::finish() {
    m_decoder.reset();
    // Release: every frame written to the ring is visible to a reader that sees the end.
    m_ended.store(true, std::memory_order_release);
}

bool Stream::fill(float* scratch, int chunkFrames) {
    if (m_ended.load(std::memory_order_relaxed))
        return false;
    if (isCancelled()) {
        finish();
        return true;
    }
    if (!m_decoder) {
        // The same decoder run as the head's, so the frames after the skip continue the
        // head sample for sample.
        m_decoder = std::make_unique<Decoder>(m_outputRate);
        if (!m_decoder->open(m_cart->source(), &m_cancel) ||
            m_decoder->skip(m_skipFrames) < m_skipFrames) {
            finish();
        }
        return true;
    }
    std::size_t free = m_ring.writableFrames();
    if (free < roomFrames())
        return false;
    while (free > 0 && !isCancelled()) {
        const int want = static_cast<int>(std::min<std::size_t>(free, chunkFrames));
        const int got = m_decoder->read(scratch, want);
        m_ring.write(scratch, static_cast<std::size_t>(got));
        if (got < want) {
            if (!isCancelled())
                m_cart->setDecodedLength(m_decoder->outputFrames(), m_outputRate);
            finish();
            return true;
        }
        free -= static_cast<std::size_t>(got);
    }
    return true;
}
