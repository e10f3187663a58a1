#include "audio/cart.h"

#include <QFile>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The identity of an open file; size -1 when it is not a regular file.
Cart::Identity identityOfStat(const struct stat& st) {
    if (!S_ISREG(st.st_mode))
        return {};
    return {static_cast<std::int64_t>(st.st_size),
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

} // namespace

std::shared_ptr<Cart> Cart::open(const QString& path, const std::atomic<bool>* cancel) {
    const QByteArray local = QFile::encodeName(path);
    // Non-blocking, so that a FIFO named like a cart does not hold the caller; a file that
    // is not regular is refused below.
    const int fd =
        local.isEmpty() ? -1 : ::open(local.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        Decoder::Measurement failed;
        failed.error = QString::fromLocal8Bit(std::strerror(fd < 0 ? errno : ENODEV));
        if (fd >= 0)
            ::close(fd);
        return std::make_shared<Cart>(path, -1, failed, Identity{});
    }
    const QString source = QStringLiteral("/proc/self/fd/%1").arg(fd);
    const Decoder::Measurement measurement = Decoder::measure(source, cancel);
    if (!measurement.ok) {
        ::close(fd);
        return std::make_shared<Cart>(path, -1, measurement, identityOfStat(st));
    }
    return std::make_shared<Cart>(path, fd, measurement, identityOfStat(st));
}

Cart::Cart(QString path, int fd, const Decoder::Measurement& measurement, Identity identity)
    : m_path(std::move(path)), m_fd(fd),
      m_source(fd >= 0 ? QStringLiteral("/proc/self/fd/%1").arg(fd) : m_path),
      m_openable(measurement.ok), m_error(measurement.error), m_identity(identity),
      m_lengthMs(measurement.milliseconds()) {}

Cart::~Cart() {
    if (m_fd >= 0)
        ::close(m_fd);
}

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

bool Cart::checkFile() {
    if (fileState() != FileState::Current)
        return false;
    const Identity now = identityOf(m_path);
    if (now == m_identity)
        return false;
    // Only the first of two threads that check at once reports the change.
    FileState expected = FileState::Current;
    return m_fileState.compare_exchange_strong(
        expected, now.size < 0 ? FileState::Gone : FileState::Replaced, std::memory_order_relaxed);
}

Cart::Identity Cart::identityOf(const QString& path) {
    struct stat st {};
    const QByteArray local = QFile::encodeName(path);
    if (local.isEmpty() || ::stat(local.constData(), &st) != 0)
        return {};
    return identityOfStat(st);
}
