#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <type_traits>

// A bounded lock-free queue of small messages between two threads: the UI thread's
// commands to the output callback, the callback's events back.
//
// Producer: one thread at a time (push). Consumer: one thread at a time (pop, empty).
// Neither side blocks, allocates or locks; the storage is part of the object.
template <typename T, std::size_t Capacity> class SpscQueue {
    static_assert(Capacity > 0 && (Capacity & (Capacity - 1)) == 0, "a power of two");
    static_assert(std::is_trivially_copyable_v<T>, "copied without running code");

public:
    static constexpr std::size_t capacity() { return Capacity; }

    // Producer: false, and nothing queued, when the queue is full.
    bool push(const T& item) noexcept {
        const std::uint64_t tail = m_tail.load(std::memory_order_relaxed);
        // Acquire the consumer's head, release our tail: a slot is read before we refill it,
        // and an item is written before the consumer sees the tail that counts it.
        if (tail - m_head.load(std::memory_order_acquire) == Capacity)
            return false;
        m_items[tail & (Capacity - 1)] = item;
        m_tail.store(tail + 1, std::memory_order_release);
        return true;
    }

    // Producer: how many pushes will succeed, at least.
    std::size_t room() const noexcept {
        return Capacity -
               (m_tail.load(std::memory_order_relaxed) - m_head.load(std::memory_order_acquire));
    }

    // Consumer: the oldest item, left in the queue; null when the queue is empty.
    const T* front() const noexcept {
        const std::uint64_t head = m_head.load(std::memory_order_relaxed);
        if (m_tail.load(std::memory_order_acquire) == head)
            return nullptr;
        return &m_items[head & (Capacity - 1)];
    }
    // Consumer, after a front() that was not null: frees its slot.
    void popFront() noexcept {
        m_head.store(m_head.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    }
    // Consumer: false when the queue is empty.
    bool pop(T& item) noexcept {
        const T* oldest = front();
        if (!oldest)
            return false;
        item = *oldest;
        popFront();
        return true;
    }

    // Consumer: nothing is queued (a push may land at any moment after).
    bool empty() const noexcept {
        return m_tail.load(std::memory_order_acquire) == m_head.load(std::memory_order_relaxed);
    }

private:
    std::array<T, Capacity> m_items{};
    // Monotonic counters; the slot is the counter masked by the capacity.
    alignas(64) std::atomic<std::uint64_t> m_tail{0}; // written by the producer only
    alignas(64) std::atomic<std::uint64_t> m_head{0}; // written by the consumer only
};
