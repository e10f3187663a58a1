#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

// A lock-free single-producer/single-consumer ring of interleaved stereo float frames:
// a decoder thread writes the frames of a cart that follow its prepared head, the output
// callback reads them.
//
// Producer: one decoder thread (write, writableFrames). Consumer: the output callback
// (read, readableFrames). Neither side blocks, allocates or locks. The constructor
// allocates and runs on the UI thread.
class SampleRing {
public:
    // capacityFrames is rounded up to a power of two.
    explicit SampleRing(std::size_t capacityFrames)
        : m_capacity(roundUp(capacityFrames)), m_mask(m_capacity - 1),
          m_samples(new float[m_capacity * 2]) {}

    std::size_t capacityFrames() const { return m_capacity; }

    // Producer side.
    std::size_t writableFrames() const {
        // Acquire: the consumer's reads of the slots it released happen before we refill them.
        return m_capacity -
               (m_write.load(std::memory_order_relaxed) - m_read.load(std::memory_order_acquire));
    }
    std::size_t write(const float* frames, std::size_t count) {
        const std::uint64_t w = m_write.load(std::memory_order_relaxed);
        count = std::min(count, writableFrames());
        copyIn(w, frames, count);
        // Release: the samples written above are visible to the consumer that sees this index.
        m_write.store(w + count, std::memory_order_release);
        return count;
    }

    // Consumer side.
    std::size_t readableFrames() const {
        // Acquire: pairs with the producer's release, so the samples counted here are written.
        return m_write.load(std::memory_order_acquire) - m_read.load(std::memory_order_relaxed);
    }
    std::size_t read(float* frames, std::size_t count) {
        const std::uint64_t r = m_read.load(std::memory_order_relaxed);
        count = std::min(count, readableFrames());
        copyOut(r, frames, count);
        // Release: our reads of these slots finish before the producer may overwrite them.
        m_read.store(r + count, std::memory_order_release);
        return count;
    }

private:
    static std::size_t roundUp(std::size_t n) {
        std::size_t c = 1;
        while (c < n)
            c <<= 1;
        return c;
    }
    void copyIn(std::uint64_t at, const float* src, std::size_t count) {
        const std::size_t start = at & m_mask;
        const std::size_t first = std::min(count, m_capacity - start);
        std::copy(src, src + first * 2, m_samples.get() + start * 2);
        std::copy(src + first * 2, src + count * 2, m_samples.get());
    }
    void copyOut(std::uint64_t at, float* dst, std::size_t count) const {
        const std::size_t start = at & m_mask;
        const std::size_t first = std::min(count, m_capacity - start);
        std::copy(m_samples.get() + start * 2, m_samples.get() + (start + first) * 2, dst);
        std::copy(m_samples.get(), m_samples.get() + (count - first) * 2, dst + first * 2);
    }

    const std::size_t m_capacity;
    const std::size_t m_mask;
    std::unique_ptr<float[]> m_samples;
    // Monotonic frame counters; the slot is the counter masked by the capacity.
    alignas(64) std::atomic<std::uint64_t> m_write{0};
    alignas(64) std::atomic<std::uint64_t> m_read{0};
};
