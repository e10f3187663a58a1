#include "audio/stream.h"

#include "audio/cart.h"
#include "audio/decoder.h"

#include <algorithm>

namespace {
constexpr int kChunkFrames = 4096;
// The shortest wait between two looks at a ring that had no room.
constexpr auto kMinimumWait = std::chrono::milliseconds(10);

// Marks the reader as inside a file call for as long as it lives.
class FileCall {
public:
    explicit FileCall(std::atomic<bool>& flag) : m_flag(flag) {
        m_flag.store(true, std::memory_order_relaxed);
    }
    ~FileCall() { m_flag.store(false, std::memory_order_relaxed); }
    FileCall(const FileCall&) = delete;
    FileCall& operator=(const FileCall&) = delete;

private:
    std::atomic<bool>& m_flag;
};
} // namespace

Stream::Stream(std::shared_ptr<Cart> cart, int outputRate, std::int64_t skipFrames,
               std::size_t ringFrames)
    : m_cart(std::move(cart)), m_outputRate(outputRate), m_skipFrames(skipFrames),
      m_ring(ringFrames) {}

Stream::~Stream() = default;

bool Stream::isWaitingOnFile() const {
    return m_inFileCall.load(std::memory_order_relaxed) ||
           m_retrying.load(std::memory_order_relaxed);
}

bool Stream::isWithheld() const {
    return m_cart->file() && m_cart->file()->isWithheld();
}

std::chrono::nanoseconds Stream::timeUntilRoom() const {
    const std::size_t free = m_ring.writableFrames();
    const std::size_t missing = free < roomFrames() ? roomFrames() - free : 0;
    return std::max<std::chrono::nanoseconds>(
        kMinimumWait,
        std::chrono::nanoseconds(static_cast<std::int64_t>(missing) * 1000000000 / m_outputRate));
}

void Stream::finish() {
    m_decoder.reset();
    m_retrying.store(false, std::memory_order_relaxed);
    // Release: every frame written to the ring is visible to a reader that sees the end.
    m_ended.store(true, std::memory_order_release);
}

std::chrono::nanoseconds Stream::retry() {
    m_decoder.reset();
    m_retrying.store(true, std::memory_order_relaxed);
    return kRetryDelay;
}

std::chrono::nanoseconds Stream::fill() {
    if (m_ended.load(std::memory_order_relaxed))
        return kDone;
    if (isCancelled()) {
        finish();
        return kDone;
    }
    if (!m_decoder) {
        // The same decoder run as the head's, so the frames after the skip continue the
        // head sample for sample; after a failed read, from the frame the ring had reached.
        m_decoder = std::make_unique<Decoder>(m_outputRate);
        const std::int64_t skip = m_skipFrames + m_written;
        bool opened = false;
        {
            const FileCall call(m_inFileCall);
            opened = m_decoder->open(m_cart->file(), &m_cancel) && m_decoder->skip(skip) == skip;
        }
        if (!opened && !isCancelled() && m_decoder->fault() != 0)
            return retry();
        if (!opened) {
            finish();
            return kDone;
        }
        m_retrying.store(false, std::memory_order_relaxed);
        m_scratch.resize(static_cast<std::size_t>(kChunkFrames) * 2);
        return std::chrono::nanoseconds::zero();
    }
    std::size_t free = m_ring.writableFrames();
    if (free < roomFrames())
        return timeUntilRoom();
    while (free > 0 && !isCancelled()) {
        const int want = static_cast<int>(std::min<std::size_t>(free, kChunkFrames));
        int got = 0;
        {
            const FileCall call(m_inFileCall);
            got = m_decoder->read(m_scratch.data(), want);
        }
        m_ring.write(m_scratch.data(), static_cast<std::size_t>(got));
        m_written += got;
        if (got < want) {
            if (isCancelled())
                break;
            if (m_decoder->fault() != 0)
                return retry();
            // The real end: the frames that play at the output rate are the cart's length.
            m_cart->setDecodedLength(m_skipFrames + m_written, m_outputRate);
            finish();
            return kDone;
        }
        free -= static_cast<std::size_t>(got);
    }
    if (isCancelled()) {
        finish();
        return kDone;
    }
    return timeUntilRoom();
}
