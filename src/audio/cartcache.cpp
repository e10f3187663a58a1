#include "audio/cartcache.h"

#include "audio/cart.h"
#include "audio/filesource.h"
#include "audio/leveller.h"

#include <QTimer>
#include <algorithm>

CartCache::CartCache(int outputRate, int headFrames, std::shared_ptr<FileSource> files)
    : m_files(std::move(files)), m_lifeline(std::make_shared<Lifeline<CartCache>>(this)),
      m_stopMeasuring(std::make_shared<std::atomic<bool>>(false)),
      m_preparer(outputRate, headFrames, [lifeline = m_lifeline](const auto& cart) {
          lifeline->with([&cart](CartCache& cache) {
              // Weak: the report does not keep a cart that everyone else has let go of.
              QMetaObject::invokeMethod(
                  &cache,
                  [&cache, weak = std::weak_ptr<Cart>(cart)] {
                      if (const auto cart = weak.lock())
                          cache.onCartChanged(cart);
                  },
                  Qt::QueuedConnection);
          });
      }) {
    m_runMeasure = [this](std::function<void()> job) {
        runInBackground(std::move(job));
    };
    connect(&m_fileWatch, &FileWatch::changed, this, [this](const QString& path) {
        if (const auto cached = m_cache.find(path); cached != m_cache.end())
            check(cached->cart);
    });
}

CartCache::~CartCache() {
    finish(WorkerQueue::Clock::now() + WorkerQueue::kQuitWait);
}

void CartCache::finish(WorkerQueue::Clock::time_point deadline) {
    // First: no worker reaches the cache from now on.
    m_lifeline->cut();
    m_stopMeasuring->store(true, std::memory_order_relaxed);
    m_waitingJobs.clear();
    m_preparer.queue().requestQuit();
    for (const auto& measurer : m_measurers)
        measurer->requestQuit();
    m_preparer.queue().finish(deadline);
    for (const auto& measurer : m_measurers)
        measurer->finish(deadline);
}

std::shared_ptr<Cart> CartCache::openCart(const QString& path) {
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
    if (cart && !m_measuring.contains(path) && cart->fileState() != Cart::FileState::Replaced) {
        if (cart->fileState() == Cart::FileState::Current) {
            if (cached != m_cache.end())
                cached->lastUse = ++m_useClock;
            else
                remember(cart);
            // A preparation that met a fault is tried again at each open.
            if (cart->isOpenable() && !cart->isPrepared())
                m_preparer.prepare(cart);
        }
        // A file replaced since it was measured (or, for a deleted one, a file that took
        // its name) is measured again at the open after the check has found it.
        check(cart);
        return cart;
    }
    if (cart)
        retire(cart);
    cart.reset();
    startMeasuring(path);
    return m_measured.value(path).lock();
}

void CartCache::check(const std::shared_ptr<Cart>& cart) {
    const QString& path = cart->path();
    if (m_checking.contains(path))
        return;
    m_checking.insert(path);
    // Weak: a check waiting for its turn, or its report, keeps no cart (and no file) that
    // everyone else has let go of.
    runInBackground(
        [path, weak = std::weak_ptr<Cart>(cart), files = m_files, lifeline = m_lifeline] {
            std::shared_ptr<Cart> cart = weak.lock();
            if (cart && !cart->checkFile(*files))
                cart.reset();
            lifeline->with([&](CartCache& cache) {
                const std::lock_guard lock(cache.m_finishedMutex);
                cache.m_checked.push_back({path, cart});
            });
        });
}

void CartCache::runInBackground(std::function<void()> job) {
    m_waitingJobs.push_back([job = std::move(job), lifeline = m_lifeline] {
        job();
        // This measuring thread is free for the jobs waiting for one.
        lifeline->with([](CartCache& cache) {
            QMetaObject::invokeMethod(&cache, &CartCache::takeMeasured, Qt::QueuedConnection);
        });
    });
    dispatchMeasuring();
}

void CartCache::startMeasuring(const QString& path) {
    if (m_measuring.contains(path))
        return;
    m_measuring.insert(path);
    // The job holds what it needs: at the end it may be left behind in a hung read.
    m_runMeasure([path, files = m_files, stop = m_stopMeasuring, lifeline = m_lifeline] {
        std::shared_ptr<Cart> cart = Cart::open(path, *files, stop.get());
        lifeline->with([&cart](CartCache& cache) {
            {
                const std::lock_guard lock(cache.m_finishedMutex);
                cache.m_finished.push_back(std::move(cart));
            }
            QMetaObject::invokeMethod(&cache, &CartCache::takeMeasured, Qt::QueuedConnection);
        });
    });
}

void CartCache::dispatchMeasuring() {
    for (std::size_t i = 0; !m_waitingJobs.empty() && i < kMeasuringThreads; ++i) {
        if (i == m_measurers.size())
            m_measurers.push_back(std::make_unique<WorkerQueue>("airloom-measure"));
        if (!m_measurers[i]->isIdle())
            continue;
        m_measurers[i]->post(std::move(m_waitingJobs.front()));
        m_waitingJobs.pop_front();
    }
}

void CartCache::takeMeasured() {
    std::vector<std::shared_ptr<Cart>> carts;
    std::vector<Checked> checked;
    {
        const std::lock_guard lock(m_finishedMutex);
        carts.swap(m_finished);
        checked.swap(m_checked);
    }
    for (const Checked& check : checked) {
        m_checking.remove(check.path);
        if (const auto cart = check.changed.lock())
            onCartChanged(cart);
    }
    for (const std::shared_ptr<Cart>& cart : carts) {
        const QString path = cart->path();
        m_measuring.remove(path);
        if (cart->fault() != 0) {
            // Not the file's answer: nothing is kept, and it is measured again after a
            // back-off, or at once by its next open.
            const int faults = m_faults.value(path) + 1;
            m_faults.insert(path, faults);
            if (faults <= kMeasureRetries) {
                QTimer::singleShot(kMeasureRetryDelay * (1 << (faults - 1)), this, [this, path] {
                    if (m_faults.contains(path) && !m_cache.contains(path))
                        startMeasuring(path);
                });
            }
            continue;
        }
        m_faults.remove(path);
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
    dispatchMeasuring();
}

void CartCache::retire(const std::shared_ptr<Cart>& cart) {
    const auto cached = m_cache.find(cart->path());
    if (cached != m_cache.end() && cached->cart == cart)
        forget(cart->path());
}

void CartCache::remember(const std::shared_ptr<Cart>& cart) {
    m_cache.insert(cart->path(), {cart, ++m_useClock});
    if (cart->isOpenable())
        runInBackground(m_fileWatch.adder(cart->path()));
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

void CartCache::forget(const QString& path) {
    const auto cached = m_cache.find(path);
    if (cached == m_cache.end())
        return;
    m_fileWatch.remove(path);
    m_cache.erase(cached);
}

void CartCache::onCartChanged(const std::shared_ptr<Cart>& cart) {
    if (cart->fileState() != Cart::FileState::Current)
        retire(cart);
    emit cartChanged(cart->path());
}

void CartCache::waitForMeasurements() {
    for (;;) {
        for (const auto& measurer : m_measurers)
            measurer->waitUntilIdle();
        takeMeasured();
        if (m_waitingJobs.empty() &&
            std::all_of(m_measurers.begin(), m_measurers.end(),
                        [](const auto& measurer) { return measurer->isIdle(); })) {
            return;
        }
    }
}

void CartCache::waitForBackgroundWork() {
    waitForMeasurements();
    m_preparer.waitUntilIdle();
}
