#include "audio/audioengine.h"

#include "audio/cart.h"
#include "audio/decoder.h"
#include "audio/leveller.h"

#include <algorithm>
#include <utility>

AudioEngine::AudioEngine(std::unique_ptr<OutputDevice> device)
    : m_device(std::move(device)), m_sampleRate(m_device->sampleRate()),
      m_voices(*m_device, static_cast<std::size_t>(
                              std::max(kRingSeconds * m_sampleRate, 4 * m_device->periodFrames()))),
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
    m_device->start(m_voices);
}

AudioEngine::~AudioEngine() {
    // The measuring jobs end first: their reports reach this engine.
    m_stopMeasuring.store(true, std::memory_order_relaxed);
    m_measurePool.waitForDone();
    // The callback stops first; then no voice is in use and all can go.
    m_device->stop();
}

std::shared_ptr<Cart> AudioEngine::openCart(const QString& path) {
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

float AudioEngine::gainFor(const std::shared_ptr<Cart>& cart) const {
    if (!m_leveller || !cart)
        return 1.0f;
    // A loudness measure that failed is tried again; this play is at unity meanwhile.
    if (cart->isOpenable())
        m_leveller->request(*cart);
    return m_leveller->gainFor(*cart);
}

void AudioEngine::waitForMeasurements() {
    m_measurePool.waitForDone();
    takeMeasured();
}

void AudioEngine::waitForBackgroundWork() {
    waitForMeasurements();
    m_preparer.waitUntilIdle();
}
