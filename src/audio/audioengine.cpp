#include "audio/audioengine.h"

#include "audio/cart.h"
#include "audio/decoder.h"
#include "audio/leveller.h"
#include "audio/voice.h"

#include <algorithm>

AudioEngine::AudioEngine(std::unique_ptr<OutputDevice> device)
    : m_device(std::move(device)), m_sampleRate(m_device->sampleRate()),
      m_ringFrames(static_cast<std::size_t>(
          std::max(kRingSeconds * m_sampleRate, 4 * m_device->periodFrames()))),
      m_mixer(m_sampleRate), m_preparer(m_sampleRate, kHeadSeconds * m_sampleRate) {
    QObject::connect(&m_watcher, &QFileSystemWatcher::fileChanged, &m_watcher,
                     [this](const QString& path) { forget(path); });
    m_device->start(*this);
}

AudioEngine::~AudioEngine() {
    // The callback stops first; then no voice is in use and all can go.
    m_device->stop();
    m_voices.clear();
}

void AudioEngine::render(float* out, int frames) noexcept {
    m_mixer.render(out, frames);
}

void AudioEngine::waitUntilReady(int frames) {
    std::vector<StreamWorker::Need> needs;
    for (const auto& voice : m_voices) {
        if (!voice->stream || voice->request.load(std::memory_order_relaxed) != Voice::Run ||
            voice->ended.load(std::memory_order_acquire)) {
            continue;
        }
        // At least one frame even while the head plays: the decoder has then opened the
        // file, as it has on a real device long before the head runs out.
        const std::int64_t fromRing =
            voice->consumed.load(std::memory_order_acquire) + frames - voice->headFrames;
        needs.push_back({voice->stream.get(),
                         static_cast<std::size_t>(std::clamp<std::int64_t>(fromRing, 1, frames))});
    }
    if (!needs.empty())
        m_streams.waitUntilReadable(needs);
}

std::shared_ptr<Cart> AudioEngine::openCart(const QString& path) {
    reap();
    const auto cached = m_cache.find(path);
    if (cached != m_cache.end() && !cached->cart->isStale()) {
        cached->lastUse = ++m_useClock;
        // A file replaced since it was prepared is measured again at its next open.
        m_preparer.revalidate(cached->cart);
        return cached->cart;
    }
    const Cart::Identity identity = Cart::identityOf(path);
    auto cart = std::make_shared<Cart>(path, Decoder::measure(path), identity);
    if (cart->isOpenable()) {
        remember(cart);
        m_preparer.prepare(cart);
        if (m_leveller)
            m_leveller->request(*cart);
    } else {
        forget(path);
    }
    return cart;
}

void AudioEngine::remember(const std::shared_ptr<Cart>& cart) {
    m_cache.insert(cart->path(), {cart, ++m_useClock});
    m_watcher.addPath(cart->path());
    if (m_cache.size() <= kCacheCapacity)
        return;
    auto oldest = m_cache.begin();
    for (auto it = m_cache.begin(); it != m_cache.end(); ++it) {
        if (it->lastUse < oldest->lastUse)
            oldest = it;
    }
    const QString evicted = oldest.key(); // a copy: the entry goes
    forget(evicted);
}

void AudioEngine::forget(const QString& path) {
    if (m_cache.remove(path))
        m_watcher.removePath(path);
}

Voice* AudioEngine::play(const std::shared_ptr<Cart>& cart) {
    reap();
    if (!cart || !cart->isOpenable() || cart->lengthMs() <= 0)
        return nullptr;
    auto voice = std::make_unique<Voice>();
    voice->cart = cart;
    voice->gain = m_leveller ? m_leveller->gainFor(*cart) : 1.0f;
    const bool prepared = cart->isPrepared();
    if (prepared) {
        voice->head = cart->head();
        voice->headFrames = cart->headFrames();
    }
    if (!prepared || !cart->headIsWhole()) {
        voice->stream =
            std::make_shared<Stream>(cart, m_sampleRate, voice->headFrames, m_ringFrames);
    }
    if (!m_mixer.add(voice.get()))
        return nullptr;
    if (voice->stream)
        m_streams.add(voice->stream);
    m_voices.push_back(std::move(voice));
    return m_voices.back().get();
}

void AudioEngine::pause(Voice* voice) {
    voice->request.store(Voice::Pause, std::memory_order_release);
}

void AudioEngine::resume(Voice* voice) {
    voice->request.store(Voice::Run, std::memory_order_release);
}

void AudioEngine::release(Voice* voice) {
    voice->request.store(Voice::Release, std::memory_order_release);
    if (voice->stream)
        voice->stream->cancel();
    if (m_mixer.withdraw(voice)) {
        std::erase_if(m_voices, [voice](const auto& v) { return v.get() == voice; });
        return;
    }
    reap();
}

void AudioEngine::reap() {
    std::erase_if(m_voices, [](const auto& voice) {
        return voice->request.load(std::memory_order_relaxed) == Voice::Release &&
               voice->released.load(std::memory_order_acquire);
    });
}

std::uint64_t AudioEngine::framesSince(std::uint64_t frame) const {
    const std::uint64_t now = m_mixer.renderedFrames();
    return now > frame ? now - frame : 0;
}

std::int64_t AudioEngine::heardFrames(const Voice& voice) const {
    const std::int64_t consumed = voice.consumed.load(std::memory_order_acquire);
    const auto elapsed =
        static_cast<std::int64_t>(framesSince(voice.lastFrame.load(std::memory_order_acquire)));
    const std::int64_t inFlight = std::max<std::int64_t>(0, m_device->latencyFrames() - elapsed);
    return std::max<std::int64_t>(0, consumed - inFlight);
}

bool AudioEngine::isHeardToEnd(const Voice& voice) const {
    return voice.ended.load(std::memory_order_acquire) &&
           static_cast<std::int64_t>(framesSince(
               voice.lastFrame.load(std::memory_order_acquire))) >= m_device->latencyFrames();
}

void AudioEngine::waitForBackgroundWork() {
    m_preparer.waitUntilIdle();
}
