#pragma once

#include "audio/decoder.h"

#include <QString>
#include <atomic>
#include <cstdint>
#include <vector>

// One cart file known to the engine: its exact length and, once prepared, its opening
// seconds decoded at the output rate (the head), from which a fire starts at once.
//
// Created and looked up on the UI thread (the cart cache). The preparation worker writes
// the head once and publishes it; after that the head is read-only, and the output
// callback reads it without locks. The length may be corrected by a worker once a full
// decode knows it exactly. No call blocks.
class Cart {
public:
    // The file's identity when it was measured, so that a changed file is measured again.
    struct Identity {
        std::int64_t size = -1;
        std::int64_t modified = 0; // ns since the epoch
        bool operator==(const Identity&) const = default;
    };

    Cart(QString path, const Decoder::Measurement& measurement, Identity identity);

    const QString& path() const { return m_path; }
    // False when nothing could be opened: no audio stream, no decoder, not a file.
    bool isOpenable() const { return m_openable; }
    std::int64_t lengthMs() const { return m_lengthMs.load(std::memory_order_relaxed); }
    const Identity& identity() const { return m_identity; }

    // Preparation worker: stores the head once. whole means the head is the entire cart;
    // its decoded length then replaces the measured one.
    void setHead(std::vector<float> samples, bool whole, const Decoder& decoder);
    // A worker that decoded the cart to its end reports its exact length.
    void setDecodedLength(std::int64_t sourceFrames, int sourceRate);

    // Any thread. After isPrepared() returns true the head never changes.
    bool isPrepared() const { return m_prepared.load(std::memory_order_acquire); }
    const float* head() const { return m_head.data(); }
    std::int64_t headFrames() const { return static_cast<std::int64_t>(m_head.size() / 2); }
    bool headIsWhole() const { return m_whole; }

    // Set by the preparation worker when the file on disk no longer matches the cart.
    void markStale() { m_stale.store(true, std::memory_order_relaxed); }
    bool isStale() const { return m_stale.load(std::memory_order_relaxed); }

    // The identity of the file at path now; size -1 when it is not a regular file.
    static Identity identityOf(const QString& path);

private:
    const QString m_path;
    const bool m_openable;
    const Identity m_identity;
    std::atomic<std::int64_t> m_lengthMs;
    std::vector<float> m_head;
    bool m_whole = false;
    std::atomic<bool> m_prepared{false};
    std::atomic<bool> m_stale{false};
};
