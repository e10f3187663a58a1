#pragma once

#include "audio/decoder.h"
#include "audio/filesource.h"

#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

// One cart file known to the engine: its exact length and, once prepared, its opening
// seconds decoded at the output rate (the head), from which a fire starts at once.
//
// The cart holds its file open for as long as it lives, and every decoder reads it through
// that open file (file()): a cart whose file is deleted after it was loaded still plays
// to its end, and its disk space is freed when the last holder lets go.
//
// Created and looked up on the UI thread (the cart cache). The preparation worker writes
// the head once and publishes it; after that the head is read-only, and the output
// callback reads it without locks. The length may be corrected by a worker once a full
// decode knows it exactly. No call blocks, apart from open(), which measures the file (on
// a measuring thread, never on the UI thread).
class Cart {
public:
    // The file's identity when it was measured, so that a changed file is measured again.
    struct Identity {
        std::int64_t size = -1;
        std::int64_t modified = 0; // ns since the epoch
        bool operator==(const Identity&) const = default;
    };

    // What the file at path is now, compared with the one the cart holds.
    enum class FileState { Current, Gone, Replaced };

    // Opens the file at path, holds it and measures it (a packet scan); cancel, when set,
    // cuts the scan short. A cart that cannot be opened keeps the identity of the file it
    // tried, so that the same file is not tried again; one whose open or read failed for a
    // passing reason (fault()) says so, and is to be measured again rather than kept.
    static std::shared_ptr<Cart> open(const QString& path, FileSource& files,
                                      const std::atomic<bool>* cancel = nullptr);
    Cart(QString path, std::shared_ptr<CartFile> file, const Decoder::Measurement& measurement,
         Identity identity);
    Cart(const Cart&) = delete;
    Cart& operator=(const Cart&) = delete;

    const QString& path() const { return m_path; }
    // What decoders read: the file held open; null when it could not be opened.
    const std::shared_ptr<CartFile>& file() const { return m_file; }
    // False when nothing could be opened: no audio stream, no decoder, not a file.
    bool isOpenable() const { return m_openable; }
    // errno of the failed open or read that left the cart unmeasured (0: none).
    int fault() const { return m_fault; }
    // Why the cart cannot be opened ("" when it can).
    const QString& error() const { return m_error; }
    std::int64_t lengthMs() const { return m_lengthMs.load(std::memory_order_relaxed); }
    const Identity& identity() const { return m_identity; }

    // Preparation worker: stores the head once. whole means the head is the entire cart;
    // its decoded length then replaces the measured one. True when that changed the length.
    bool setHead(std::vector<float> samples, bool whole, const Decoder& decoder);
    // A worker that decoded the cart to its end reports its exact length: the frames it
    // gave at the output rate. True when that changed the length.
    bool setDecodedLength(std::int64_t outputFrames, int outputRate);

    // Any thread. After isPrepared() returns true the head never changes.
    bool isPrepared() const { return m_prepared.load(std::memory_order_acquire); }
    const float* head() const { return m_head.data(); }
    std::int64_t headFrames() const { return static_cast<std::int64_t>(m_head.size() / 2); }
    bool headIsWhole() const { return m_whole; }

    // Compares the file at path with the one the cart holds (a stat, which may block); true
    // when that changed the cart's file state. A file gone may come back (Current) or be
    // followed by another (Replaced); a stat that fails for a passing reason changes
    // nothing. Any thread.
    bool checkFile(FileSource& files);
    FileState fileState() const { return m_fileState.load(std::memory_order_relaxed); }

    // The identity of what a stat or open found; size -1 when it is not a regular file.
    static Identity identityOf(const CartFile::Info& info);

private:
    const QString m_path;
    const std::shared_ptr<CartFile> m_file;
    const bool m_openable;
    const int m_fault;
    const QString m_error;
    const Identity m_identity;
    std::atomic<std::int64_t> m_lengthMs;
    std::vector<float> m_head;
    bool m_whole = false;
    std::atomic<bool> m_prepared{false};
    std::atomic<FileState> m_fileState{FileState::Current};
};
