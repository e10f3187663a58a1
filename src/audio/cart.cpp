#include "audio/cart.h"

#include <cerrno>
#include <cmath>
#include <cstring>

std::shared_ptr<Cart> Cart::open(const QString& path, FileSource& files,
                                 const std::atomic<bool>* cancel) {
    int error = 0;
    std::shared_ptr<CartFile> file = files.open(path, error);
    CartFile::Info info;
    if (file && (error = -file->info(info)) == 0 && !info.regular)
        error = ENODEV;
    if (error != 0) {
        Decoder::Measurement failed;
        failed.error = QString::fromLocal8Bit(std::strerror(error));
        failed.fault = FileSource::isPassing(error) ? error : 0;
        return std::make_shared<Cart>(path, nullptr, failed, Identity{});
    }
    const Decoder::Measurement measurement = Decoder::measure(file, cancel);
    if (!measurement.ok)
        file.reset();
    return std::make_shared<Cart>(path, std::move(file), measurement, identityOf(info));
}

Cart::Cart(QString path, std::shared_ptr<CartFile> file, const Decoder::Measurement& measurement,
           Identity identity)
    : m_path(std::move(path)), m_file(std::move(file)), m_openable(measurement.ok),
      m_fault(measurement.fault), m_error(measurement.error), m_identity(identity),
      m_lengthMs(measurement.milliseconds()) {}

bool Cart::setHead(std::vector<float> samples, bool whole, const Decoder& decoder) {
    if (m_prepared.load(std::memory_order_relaxed))
        return false;
    m_head = std::move(samples);
    m_whole = whole;
    const bool changed = whole && setDecodedLength(decoder.outputFrames(), decoder.outputRate());
    // Release: the head's samples are written before a reader that sees isPrepared() reads them.
    m_prepared.store(true, std::memory_order_release);
    return changed;
}

bool Cart::setDecodedLength(std::int64_t outputFrames, int outputRate) {
    const std::int64_t ms =
        outputRate > 0 ? static_cast<std::int64_t>(
                             std::llround(static_cast<double>(outputFrames) * 1000.0 / outputRate))
                       : 0;
    return m_lengthMs.exchange(ms, std::memory_order_relaxed) != ms;
}

bool Cart::checkFile(FileSource& files) {
    FileState state = fileState();
    if (state == FileState::Replaced)
        return false;
    CartFile::Info info;
    const int error = -files.stat(m_path, info);
    // A share gone for a moment says nothing about the file.
    if (error != 0 && FileSource::isPassing(error))
        return false;
    const Identity now = error == 0 ? identityOf(info) : Identity{};
    const FileState next = now == m_identity ? FileState::Current
                           : now.size < 0    ? FileState::Gone
                                             : FileState::Replaced;
    // Only the first of two threads that check at once reports the change.
    return next != state &&
           m_fileState.compare_exchange_strong(state, next, std::memory_order_relaxed);
}

Cart::Identity Cart::identityOf(const CartFile::Info& info) {
    if (!info.regular)
        return {};
    return {info.size, info.modified};
}
