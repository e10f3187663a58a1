#include "audio/audioengine.h"

#include "audio/cart.h"
#include "audio/decoder.h"
#include "audio/leveller.h"
#include "audio/voice.h"

#include <algorithm>
#include <cstdio>
#include <utility>

AudioEngine::AudioEngine(std::unique_ptr<OutputDevice> device)
    : m_device(std::move(device)), m_sampleRate(m_device->sampleRate()),
      m_ringFrames(static_cast<std::size_t>(
          std::max(kRingSeconds * m_sampleRate, 4 * m_device->periodFrames()))),
      m_mixer(m_sampleRate),
      m_preparer(m_sampleRate, kHeadSeconds * m_sampleRate, [this](const auto& cart) {
          // Weak: the report does not keep a cart that everyone else has let go of.
          QMetaObject::invokeMethod(
              this,
              [this, weak = std::weak_ptr<Cart>(cart)] {
                  if (const auto cart = weak.lock())
                      onCartChanged(cart);
              },
              Qt::QueuedConnection);
      }) {
    m_measurePool.setMaxThreadCount(kMeasuringThreads);
    m_runMeasure = [this](std::function<void()> job) {
        m_measurePool.start(std::move(job));
    };
    // The watcher sees local files only, which a stat does not hold up.
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, [this](const QString& path) {
        const auto cached = m_cache.find(path);
        if (cached == m_cache.end())
            return;
        const std::shared_ptr<Cart> cart = cached->cart;
        if (cart->checkFile())
            onCartChanged(cart);
    });
    m_device->start(*this);

    m_underrunTimer.setInterval(kUnderrunReportInterval);
    connect(&m_underrunTimer, &QTimer::timeout, this, [this] {
        const QString report = takeUnderrunReport();
        if (!report.isEmpty())
            std::fprintf(stderr, "%s\n", qPrintable(report));
    });
    m_underrunTimer.start();
}

QString AudioEngine::takeUnderrunReport() {
    const std::uint64_t decoding = m_mixer.underruns();
    const std::uint64_t device = m_device->deviceUnderruns();
    const std::uint64_t newDecoding = decoding - std::exchange(m_reportedUnderruns, decoding);
    const std::uint64_t newDevice = device - std::exchange(m_reportedDeviceUnderruns, device);
    if (newDecoding == 0 && newDevice == 0)
        return {};
    return QStringLiteral("Audio underruns: %1 periods short of decoded audio, %2 periods late "
                          "on the output device.")
        .arg(newDecoding)
        .arg(newDevice);
}

AudioEngine::~AudioEngine() {
    // The measuring jobs end first: their reports reach this engine.
    m_stopMeasuring.store(true, std::memory_order_relaxed);
    m_measurePool.waitForDone();
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
    // A cart whose file has changed leaves the cache; a deleted one plays on for those who
    // hold it, until a new file takes its name.
    if (const auto stale = m_cache.find(path);
        stale != m_cache.end() && stale->cart->fileState() != Cart::FileState::Current) {
        forget(path);
    }
    // The cart last measured for the path: cached, or held by a deck since it left the cache.
    const auto cached = m_cache.find(path);
    std::shared_ptr<Cart> cart =
        cached != m_cache.end() ? cached->cart : m_measured.value(path).lock();
    if (cart && !m_measuring.contains(path) && stillCurrent(*cart)) {
        if (cart->fileState() == Cart::FileState::Current) {
            if (cached != m_cache.end())
                cached->lastUse = ++m_useClock;
            else
                remember(cart);
            // A file replaced since it was measured is measured again at its next open.
            m_preparer.revalidate(cart);
            // A loudness measure that failed is tried again.
            if (m_leveller && cart->isOpenable())
                m_leveller->request(*cart);
        }
        return cart;
    }
    if (cart)
        retire(cart);
    cart.reset();
    startMeasuring(path);
    return m_measured.value(path).lock();
}

bool AudioEngine::stillCurrent(const Cart& cart) {
    switch (cart.fileState()) {
    case Cart::FileState::Current:
        return cart.isOpenable() || cart.identity() == Cart::identityOf(cart.path());
    case Cart::FileState::Gone:
        return Cart::identityOf(cart.path()).size < 0;
    case Cart::FileState::Replaced:
        break;
    }
    return false;
}

void AudioEngine::startMeasuring(const QString& path) {
    if (m_measuring.contains(path))
        return;
    m_measuring.insert(path);
    m_runMeasure([this, path] {
        std::shared_ptr<Cart> cart = Cart::open(path, &m_stopMeasuring);
        {
            const std::lock_guard lock(m_finishedMutex);
            m_finished.push_back(std::move(cart));
        }
        QMetaObject::invokeMethod(this, &AudioEngine::takeMeasured, Qt::QueuedConnection);
    });
}

void AudioEngine::takeMeasured() {
    std::vector<std::shared_ptr<Cart>> carts;
    {
        const std::lock_guard lock(m_finishedMutex);
        carts.swap(m_finished);
    }
    for (const std::shared_ptr<Cart>& cart : carts) {
        const QString& path = cart->path();
        m_measuring.remove(path);
        m_measured.removeIf([](const auto& entry) { return entry.value().expired(); });
        m_measured.insert(path, cart);
        // A file that cannot be opened is cached too, and measured again once it changes.
        remember(cart);
        if (cart->isOpenable()) {
            m_preparer.prepare(cart);
            if (m_leveller)
                m_leveller->request(*cart);
        }
        emit cartChanged(path);
    }
}

void AudioEngine::retire(const std::shared_ptr<Cart>& cart) {
    const auto cached = m_cache.find(cart->path());
    if (cached != m_cache.end() && cached->cart == cart)
        forget(cart->path());
}

void AudioEngine::remember(const std::shared_ptr<Cart>& cart) {
    m_cache.insert(cart->path(), {cart, ++m_useClock});
    if (cart->isOpenable())
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
    const auto cached = m_cache.find(path);
    if (cached == m_cache.end())
        return;
    if (cached->cart->isOpenable())
        m_watcher.removePath(path);
    m_cache.erase(cached);
}

void AudioEngine::onCartChanged(const std::shared_ptr<Cart>& cart) {
    if (cart->fileState() != Cart::FileState::Current)
        retire(cart);
    emit cartChanged(cart->path());
}

std::unique_ptr<Voice> AudioEngine::makeVoice(const std::shared_ptr<Cart>& cart) {
    reap();
    if (!cart || !cart->isOpenable() || cart->lengthMs() <= 0)
        return nullptr;
    auto voice = std::make_unique<Voice>();
    voice->id = ++m_lastVoiceId;
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
    return voice;
}

VoiceHandle AudioEngine::play(const std::shared_ptr<Cart>& cart) {
    // A loudness measure that failed is tried again; this play is at unity.
    if (m_leveller && cart && cart->isOpenable())
        m_leveller->request(*cart);
    auto voice = makeVoice(cart);
    if (!voice || !m_mixer.add(voice.get()))
        return {};
    if (voice->stream)
        m_streams.add(voice->stream);
    m_voices.push_back(std::move(voice));
    m_device->wake();
    return VoiceHandle(m_voices.back()->id);
}

Voice* AudioEngine::find(VoiceHandle handle) const {
    if (!handle)
        return nullptr;
    for (const auto& voice : m_voices) {
        if (voice->id == handle.m_id)
            return voice.get();
    }
    return nullptr;
}

void AudioEngine::erase(const Voice* voice) {
    std::erase_if(m_voices, [voice](const auto& v) { return v.get() == voice; });
}

void AudioEngine::pause(VoiceHandle handle) {
    if (Voice* voice = find(handle)) {
        voice->request.store(Voice::Pause, std::memory_order_release);
        m_device->wake();
    }
}

void AudioEngine::resume(VoiceHandle handle) {
    if (Voice* voice = find(handle)) {
        voice->request.store(Voice::Run, std::memory_order_release);
        m_device->wake();
    }
}

VoiceHandle AudioEngine::release(VoiceHandle handle) {
    Voice* voice = find(handle);
    if (!voice)
        return {};
    disarm(handle);
    const VoiceHandle started = handedOver(handle);
    voice->request.store(Voice::Release, std::memory_order_release);
    if (voice->stream)
        m_streams.cancel(*voice->stream);
    if (m_mixer.withdraw(voice)) {
        erase(voice);
    } else {
        // The callback lets go of it at its next render.
        m_device->wake();
        reap();
    }
    return started;
}

bool AudioEngine::arm(VoiceHandle handle, const std::shared_ptr<Cart>& cart) {
    disarm(handle);
    Voice* voice = find(handle);
    if (!voice || handedOver(handle) || voice->ended.load(std::memory_order_acquire))
        return false;
    auto follower = makeVoice(cart);
    if (!follower)
        return false;
    voice->armedId = follower->id;
    if (follower->stream)
        m_streams.add(follower->stream);
    // Release: the follower is fully built before the callback that takes it reads it.
    voice->follower.store(follower.get(), std::memory_order_release);
    m_voices.push_back(std::move(follower));
    // The voice may have run out since the check above: the follower then starts at once.
    m_device->wake();
    return true;
}

void AudioEngine::disarm(VoiceHandle handle) {
    Voice* voice = find(handle);
    if (!voice || voice->armedId == 0)
        return;
    // Null: the callback has started it, and it is a play of its own now.
    if (Voice* follower = voice->follower.exchange(nullptr, std::memory_order_acq_rel)) {
        if (follower->stream)
            m_streams.cancel(*follower->stream);
        erase(follower);
        voice->armedId = 0;
    }
}

VoiceHandle AudioEngine::handedOver(VoiceHandle handle) const {
    const Voice* voice = find(handle);
    if (!voice || voice->armedId == 0 || voice->follower.load(std::memory_order_acquire))
        return {};
    return VoiceHandle(voice->armedId);
}

bool AudioEngine::hasFollower(VoiceHandle handle) const {
    const Voice* voice = find(handle);
    return voice && voice->armedId != 0;
}

bool AudioEngine::isRunning(VoiceHandle handle) const {
    const Voice* voice = find(handle);
    return voice && voice->request.load(std::memory_order_relaxed) == Voice::Run;
}

std::shared_ptr<Cart> AudioEngine::cartOf(VoiceHandle handle) const {
    const Voice* voice = find(handle);
    return voice ? voice->cart : nullptr;
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

std::int64_t AudioEngine::consumedFrames(VoiceHandle handle) const {
    const Voice* voice = find(handle);
    return voice ? voice->consumed.load(std::memory_order_acquire) : 0;
}

std::int64_t AudioEngine::heardFrames(VoiceHandle handle) const {
    const Voice* found = find(handle);
    if (!found)
        return 0;
    const Voice& voice = *found;
    const std::int64_t consumed = voice.consumed.load(std::memory_order_acquire);
    const auto elapsed =
        static_cast<std::int64_t>(framesSince(voice.lastFrame.load(std::memory_order_acquire)));
    const std::int64_t inFlight = std::max<std::int64_t>(0, m_device->latencyFrames() - elapsed);
    return std::max<std::int64_t>(0, consumed - inFlight);
}

bool AudioEngine::isHeardToEnd(VoiceHandle handle) const {
    const Voice* found = find(handle);
    if (!found)
        return true;
    const Voice& voice = *found;
    return voice.ended.load(std::memory_order_acquire) &&
           static_cast<std::int64_t>(framesSince(
               voice.lastFrame.load(std::memory_order_acquire))) >= m_device->latencyFrames();
}

void AudioEngine::waitForMeasurements() {
    m_measurePool.waitForDone();
    takeMeasured();
}

void AudioEngine::waitForBackgroundWork() {
    waitForMeasurements();
    m_preparer.waitUntilIdle();
}
