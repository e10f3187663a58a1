#include "decks/mcidevice.h"

#include "audio/audioengine.h"
#include "audio/cart.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace {
// The notification codes of Done.
constexpr int kNotifySuccessful = 1;
constexpr int kNotifyAborted = 4;

qint32 clampMs(std::int64_t ms) {
    return static_cast<qint32>(std::clamp<std::int64_t>(ms, 0, std::numeric_limits<qint32>::max()));
}
} // namespace

struct MciDevice::Impl {
    std::shared_ptr<Cart> cart; // set while open
    std::int64_t lengthMs = 0;  // the cart's length when it was opened
    VoiceHandle voice;          // the current play
    // A follower that started after the last frame of a play since ended here, kept for
    // the "Play" of its cart.
    VoiceHandle next;
    QString armedPath; // the follower asked for of the current play
    bool open = false;
    bool playNotify = false; // Done is owed when the current play ends
};

MciDevice::MciDevice(AudioEngine& engine, QObject* parent)
    : QObject(parent), m_engine(engine), m_impl(std::make_unique<Impl>()) {
    // A child, so that tests can find it and call its handler.
    m_statusTimer.setParent(this);
    m_statusTimer.setObjectName(QStringLiteral("StatusUpdateTimer"));
    connect(&m_statusTimer, &QTimer::timeout, this, [this] {
        if (m_impl->playNotify && m_impl->voice && m_engine.isHeardToEnd(m_impl->voice)) {
            m_impl->playNotify = false;
            emit Done(kNotifySuccessful);
        }
        emit StatusUpdate();
    });
    connect(&m_engine, &AudioEngine::cartChanged, this, &MciDevice::CartChanged);
}

MciDevice::~MciDevice() {
    Disarm();
    m_engine.release(m_engine.release(m_impl->voice));
}

// Wait is ignored: no command ever blocks the UI thread until a cart has played. Every
// TimeFormat reads as milliseconds, the only format callers use.
void MciDevice::Command(const QString& command) {
    Impl& d = *m_impl;
    // Notify applies to the one command that follows it.
    const bool notify = m_notify;
    m_notify = false;
    const auto endPlay = [&] {
        if (!d.voice)
            return;
        if (d.playNotify && !m_engine.isHeardToEnd(d.voice))
            emit Done(kNotifyAborted);
        d.playNotify = false;
        m_engine.release(d.next);
        d.next = m_engine.release(std::exchange(d.voice, {}));
        d.armedPath.clear();
    };

    if (command == QLatin1String("Open")) {
        endPlay();
        d.cart = m_engine.openCart(m_fileName);
        d.lengthMs = d.cart ? d.cart->lengthMs() : 0;
        m_errorMessage = d.cart ? d.cart->error() : QString();
        d.open = true;
        if (m_updateInterval > 0)
            m_statusTimer.start(m_updateInterval);
    } else if (command == QLatin1String("Close")) {
        endPlay();
        d.cart.reset();
        d.open = false;
        m_statusTimer.stop();
    } else if (command == QLatin1String("Play")) {
        if (!d.open)
            return;
        if (d.voice && !m_engine.isHeardToEnd(d.voice)) {
            // Playing already, or stopped part-way: go on from where it is.
            m_engine.resume(d.voice);
        } else {
            endPlay();
            // The follower of the play just ended is this cart, heard from its first frame.
            if (d.next && d.cart && m_engine.cartOf(d.next) == d.cart)
                d.voice = std::exchange(d.next, {});
            else
                d.voice = m_engine.play(d.cart);
            m_engine.release(std::exchange(d.next, {}));
            if (!d.voice) {
                m_errorMessage = !d.cart ? QStringLiteral("The file is still being measured")
                                 : !d.cart->error().isEmpty() ? d.cart->error()
                                 : d.cart->lengthMs() <= 0
                                     ? QStringLiteral("No sound could be decoded from the file")
                                     : QStringLiteral("Too many carts playing at once");
            }
        }
        d.playNotify = notify && d.voice;
        return;
    } else if (command == QLatin1String("Stop")) {
        if (d.voice)
            m_engine.pause(d.voice);
    } else if (command == QLatin1String("Back")) {
        // Back to the start: the next "Play" begins the cart again.
        endPlay();
    } else {
        return;
    }
    if (notify)
        QMetaObject::invokeMethod(
            this, [this] { emit Done(kNotifySuccessful); }, Qt::QueuedConnection);
}

int MciDevice::Mode() const {
    const Impl& d = *m_impl;
    if (!d.open)
        return kModeNotOpen;
    if (!d.cart)
        return kModeNotReady;
    if (!d.cart->isOpenable())
        return kModeNotOpen;
    if (!d.voice || !m_engine.isRunning(d.voice) || m_engine.isHeardToEnd(d.voice)) {
        return kModeStopped;
    }
    return kModePlaying;
}

qint32 MciDevice::Length() const {
    const Impl& d = *m_impl;
    return d.open ? clampMs(d.lengthMs) : 0;
}

void MciDevice::ArmNext(const QString& path) {
    Impl& d = *m_impl;
    if (path.isEmpty()) {
        Disarm();
        return;
    }
    // Once the follower has started, the next "Play" takes it up or silences it.
    if (path == d.armedPath || !d.voice || m_engine.handedOver(d.voice))
        return;
    // A cart still being measured is armed when its measurement is reported (CartChanged).
    const std::shared_ptr<Cart> cart = m_engine.openCart(path);
    if (!cart)
        return;
    // Asked once per play: a cart that cannot play is not armed again at every call.
    d.armedPath = path;
    m_engine.arm(d.voice, cart);
}

void MciDevice::Disarm() {
    Impl& d = *m_impl;
    d.armedPath.clear();
    m_engine.disarm(d.voice);
    m_engine.release(m_engine.handedOver(d.voice));
    m_engine.release(std::exchange(d.next, {}));
}

bool MciDevice::FollowerArmed() const {
    return m_impl->voice && m_engine.hasFollower(m_impl->voice);
}

std::shared_ptr<Cart> MciDevice::cart() const {
    return m_impl->open ? m_impl->cart : nullptr;
}

qint32 MciDevice::Position() const {
    const Impl& d = *m_impl;
    if (!d.open || !d.voice)
        return 0;
    if (m_engine.isHeardToEnd(d.voice))
        return Length();
    const std::int64_t frames = m_engine.heardFrames(d.voice);
    const std::int64_t ms = frames * 1000 / m_engine.sampleRate();
    return std::min(clampMs(ms), Length());
}

void MciDevice::setUpdateInterval(int ms) {
    m_updateInterval = ms;
    if (ms <= 0)
        m_statusTimer.stop();
    else if (m_impl->open)
        m_statusTimer.start(ms);
}
