#pragma once

#include "audio/cartpreparer.h"
#include "audio/mixer.h"
#include "audio/outputdevice.h"
#include "audio/streamworker.h"

#include <QFileSystemWatcher>
#include <QHash>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

class Cart;
class Leveller;
struct Voice;

// The media engine behind the media controls: one output device kept open for the life of
// the engine, the cart cache (keyed by path), the preparation and stream decoder threads,
// and the voices handed to the output callback.
//
// UI thread only, apart from the output callback it registers with the device. Only
// openCart() of a cart that is not cached touches the disk (it measures the file);
// play() of a prepared cart hands frames already in memory to the callback.
class AudioEngine : private RenderSource {
public:
    // A prepared cart holds this much of its opening in memory; the rest streams.
    static constexpr int kHeadSeconds = 5;
    // Each playing stream buffers this much ahead of the callback.
    static constexpr int kRingSeconds = 2;
    // Carts kept prepared; the least recently opened beyond this are dropped.
    static constexpr int kCacheCapacity = 32;

    explicit AudioEngine(std::unique_ptr<OutputDevice> device);
    ~AudioEngine() override;
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;

    OutputDevice& device() { return *m_device; }
    // Loudness levelling: opened carts are measured, and each play takes its cart's gain.
    // Null (the default) plays every cart at unity. Not owned.
    void setLeveller(Leveller* leveller) { m_leveller = leveller; }
    int sampleRate() const { return m_sampleRate; }

    // The cart for path: from the cache, or measured now and queued for preparation.
    // Never null; a file that cannot be opened gives a cart that is not openable, with
    // length 0 (and is not cached, so it is tried again next time).
    std::shared_ptr<Cart> openCart(const QString& path);

    // Starts a play of the cart from its beginning. Null when there is nothing to play (an
    // unopenable or empty cart) or every voice slot is taken.
    Voice* play(const std::shared_ptr<Cart>& cart);
    void pause(Voice* voice);
    void resume(Voice* voice);
    // Silences the voice within one period; the pointer must not be used afterwards.
    void release(Voice* voice);

    // What has been heard of the voice: the frames consumed by the output less those still
    // in the device's latency.
    std::int64_t heardFrames(const Voice& voice) const;
    // The voice has rendered its last frame and that frame has been heard.
    bool isHeardToEnd(const Voice& voice) const;

    // Blocks until every queued preparation and check is done (tests, benchmarks).
    void waitForBackgroundWork();

    std::uint64_t underruns() const { return m_mixer.underruns(); }
    std::uint64_t renderedFrames() const { return m_mixer.renderedFrames(); }

private:
    struct CacheEntry {
        std::shared_ptr<Cart> cart;
        std::uint64_t lastUse = 0;
    };

    void render(float* out, int frames) noexcept override;
    void waitUntilReady(int frames) override;
    // Deletes the voices the callback has let go of.
    void reap();
    void remember(const std::shared_ptr<Cart>& cart);
    void forget(const QString& path);
    std::uint64_t framesSince(std::uint64_t frame) const;

    std::unique_ptr<OutputDevice> m_device;
    const int m_sampleRate;
    const std::size_t m_ringFrames;
    Mixer m_mixer;
    StreamWorker m_streams;
    CartPreparer m_preparer;
    QHash<QString, CacheEntry> m_cache;
    // Drops a cached cart as soon as its file changes; the check at each open catches
    // what the watcher cannot see (network folders).
    QFileSystemWatcher m_watcher;
    std::uint64_t m_useClock = 0;
    Leveller* m_leveller = nullptr;
    std::vector<std::unique_ptr<Voice>> m_voices; // every voice not yet deleted
};
