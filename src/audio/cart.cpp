#include "audio/cart.h"

#include <QFile>
#include <cmath>
#include <sys/stat.h>

Cart::Cart(QString path, const Decoder::Measurement& measurement, Identity identity)
    : m_path(std::move(path)), m_openable(measurement.ok), m_identity(identity),
      m_lengthMs(measurement.milliseconds()) {}

void Cart::setHead(std::vector<float> samples, bool whole, const Decoder& decoder) {
    if (m_prepared.load(std::memory_order_relaxed))
        return;
    m_head = std::move(samples);
    m_whole = whole;
    if (whole)
        setDecodedLength(decoder.sourceFrames(), decoder.sourceRate());
    // Release: the head's samples are written before a reader that sees isPrepared() reads them.
    m_prepared.store(true, std::memory_order_release);
}

void Cart::setDecodedLength(std::int64_t sourceFrames, int sourceRate) {
    const std::int64_t ms =
        sourceRate > 0 ? static_cast<std::int64_t>(
                             std::llround(static_cast<double>(sourceFrames) * 1000.0 / sourceRate))
                       : 0;
    m_lengthMs.store(ms, std::memory_order_relaxed);
}

Cart::Identity Cart::identityOf(const QString& path) {
    struct stat st {};
    const QByteArray local = QFile::encodeName(path);
    if (local.isEmpty() || ::stat(local.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    return {static_cast<std::int64_t>(st.st_size),
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}
