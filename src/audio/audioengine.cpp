#include "audio/audioengine.h"

#include "audio/cart.h"
#include "audio/filesource.h"
#include "audio/leveller.h"

#include <algorithm>
#include <utility>

AudioEngine::AudioEngine(std::unique_ptr<OutputDevice> device, std::shared_ptr<FileSource> files)
    : m_device(std::move(device)), m_sampleRate(m_device->sampleRate()),
      m_voices(*m_device, static_cast<std::size_t>(
                              std::max(kRingSeconds * m_sampleRate, 4 * m_device->periodFrames()))),
      m_cache(m_sampleRate, kHeadSeconds * m_sampleRate,
              files ? std::move(files) : FileSource::system()) {
    connect(&m_cache, &CartCache::cartChanged, this, &AudioEngine::cartChanged);
    m_device->start(m_voices);

    m_stallTimer.setParent(this);
    m_stallTimer.setObjectName(QStringLiteral("StallTimer"));
    m_stallTimer.setInterval(kStallCheckInterval);
    connect(&m_stallTimer, &QTimer::timeout, this, &AudioEngine::checkStalls);
}

AudioEngine::~AudioEngine() {
    // One deadline for every worker, so that a share that stopped answering holds the end
    // for kEndWait at most, however many readers it holds.
    const auto deadline = WorkerQueue::Clock::now() + kEndWait;
    m_cache.finish(deadline);
    // The callback stops first; then no voice is in use and all can go.
    m_device->stop();
    m_voices.finishStreams(deadline);
}

std::shared_ptr<Cart> AudioEngine::openCart(const QString& path) {
    return m_cache.openCart(path);
}

float AudioEngine::gainFor(const std::shared_ptr<Cart>& cart) const {
    if (!m_leveller || !cart)
        return 1.0f;
    // A loudness measure that failed is tried again; this play is at unity meanwhile.
    if (cart->isOpenable())
        m_leveller->request(*cart);
    return m_leveller->gainFor(*cart);
}

VoiceHandle AudioEngine::play(const std::shared_ptr<Cart>& cart) {
    const VoiceHandle voice = m_voices.play(cart, gainFor(cart));
    if (voice && !m_stallTimer.isActive())
        m_stallTimer.start();
    return voice;
}

bool AudioEngine::arm(VoiceHandle voice, const std::shared_ptr<Cart>& cart) {
    const bool armed = m_voices.arm(voice, cart, gainFor(cart));
    if (armed && !m_stallTimer.isActive())
        m_stallTimer.start();
    return armed;
}

void AudioEngine::checkStalls() {
    const VoiceTransport::Stalls stalls = m_voices.checkStalls();
    if (!stalls.streaming)
        m_stallTimer.stop();
    // After the walk: a receiver may release voices.
    for (const QString& path : stalls.answered)
        emit fileAnswered(path);
    for (const QString& path : stalls.stalled)
        emit fileStalled(path);
}
