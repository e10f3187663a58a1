#include "decks/prelisten.h"

#include "audio/audioengine.h"
#include "audio/cart.h"

#include <QFileInfo>
#include <algorithm>
#include <utility>

namespace {

// "0:07", "12:30": minutes unpadded, seconds two digits.
QString clockText(std::int64_t ms) {
    const std::int64_t seconds = std::max<std::int64_t>(0, ms) / 1000;
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

PreListen::PreListen(AudioEngine& engine, std::unique_ptr<OutputDevice> output, QObject* parent)
    : QObject(parent), m_engine(engine), m_output(std::move(output)),
      m_voices(*m_output,
               static_cast<std::size_t>(std::max(AudioEngine::kRingSeconds * engine.sampleRate(),
                                                 4 * m_output->periodFrames()))) {
    // Its underruns and dropouts are told apart from those on air.
    m_voices.setReportLabel(QStringLiteral("Pre-listen output: "));
    m_timer.setParent(this);
    m_timer.setObjectName(QStringLiteral("PreListenTimer"));
    m_timer.setInterval(kUpdateInterval);
    connect(&m_timer, &QTimer::timeout, this, &PreListen::tick);
    // A cart that was still being measured when it was asked for starts once it is.
    connect(&engine, &AudioEngine::cartChanged, this, [this](const QString& path) {
        if (path == m_path && !m_cart)
            begin(path, m_fromEnd);
    });
    m_output->start(m_voices);
}

PreListen::~PreListen() {
    m_output->stop();
    m_voices.finishStreams(WorkerQueue::Clock::now() + AudioEngine::kEndWait);
}

void PreListen::toggle(const QString& path) {
    if (isActive() && path == m_path)
        stop();
    else
        start(path);
}

void PreListen::jumpToEnd(const QString& path) {
    begin(path, true);
}

void PreListen::begin(const QString& path, bool fromEnd) {
    m_voices.release(std::exchange(m_voice, {}));
    m_cart.reset();
    m_timer.stop();
    m_path = path;
    m_fromEnd = fromEnd;
    // A cart not measured yet starts at its measurement's cartChanged.
    if (std::shared_ptr<Cart> cart = path.isEmpty() ? nullptr : m_engine.openCart(path))
        play(cart);
    else
        emit statusChanged(statusText());
}

void PreListen::play(const std::shared_ptr<Cart>& cart) {
    const int rate = m_engine.sampleRate();
    const std::int64_t length = cart->lengthMs() * rate / 1000;
    const std::int64_t from =
        m_fromEnd ? std::max<std::int64_t>(0, length - std::int64_t{kEndSeconds} * rate) : 0;
    m_voice = m_voices.play(cart, m_engine.gainFor(cart), from);
    if (!m_voice) {
        // Nothing to hear (a file that does not open): said as a cart that will not play.
        stop();
        return;
    }
    m_cart = cart;
    m_timer.start();
    emit statusChanged(statusText());
}

void PreListen::stop() {
    m_voices.release(std::exchange(m_voice, {}));
    m_cart.reset();
    m_timer.stop();
    const bool was = !std::exchange(m_path, QString()).isEmpty();
    if (was)
        emit statusChanged(QString());
}

QString PreListen::statusText() {
    if (!isActive())
        return {};
    const QString name = QFileInfo(m_path).fileName();
    if (!m_cart)
        return QStringLiteral("Pre-listen: %1").arg(name);
    const std::int64_t heardMs = m_voices.heardFrames(m_voice) * 1000 / m_engine.sampleRate();
    return QStringLiteral("Pre-listen: %1 %2 / %3")
        .arg(name, clockText(heardMs), clockText(m_cart->lengthMs()));
}

void PreListen::tick() {
    if (m_voices.isHeardToEnd(m_voice))
        stop();
    else
        emit statusChanged(statusText());
}
