#pragma once

#include "audio/cartcache.h"
#include "audio/outputdevice.h"
#include "audio/voicetransport.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

class Cart;
class FileSource;
class Leveller;

// The media engine behind the media controls: one output device kept open for the life of
// the engine, the cart cache (CartCache), and the transport of the plays (VoiceTransport)
// that the device renders, each stream read by a thread of its own.
//
// UI thread only, apart from the output callback it registers with the device. No call
// measures a file on the UI thread: openCart() of a cart that is not cached hands the file
// to a measuring thread; play() of a prepared cart hands frames already in memory to the
// callback.
//
// A cart whose file is deleted stays playable for as long as someone holds it (a deck);
// a cart whose file is replaced is measured again at its next open. cartChanged tells the
// UI thread (queued from the worker threads) that the cart at a path has been measured, or
// has a new length or a new file. fileStalled tells it that a playing cart has run out of
// decoded frames while its file does not answer, fileAnswered that it flows again.
class AudioEngine : public QObject {
    Q_OBJECT
public:
    // A prepared cart holds this much of its opening in memory; the rest streams.
    static constexpr int kHeadSeconds = 5;
    // Each playing stream buffers this much ahead of the callback.
    static constexpr int kRingSeconds = 2;
    // How often a playing stream is checked for a file that stopped answering.
    static constexpr int kStallCheckInterval = 100;
    // The end waits this long at most for the workers; one held in a read of a share that
    // stopped answering is left behind.
    static constexpr auto kEndWait = std::chrono::milliseconds(750);

    // files: where carts are read from (the system's files unless a test says otherwise).
    explicit AudioEngine(std::unique_ptr<OutputDevice> device,
                         std::shared_ptr<FileSource> files = nullptr);
    ~AudioEngine() override;
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;

    OutputDevice& device() { return *m_device; }
    // Loudness levelling: opened carts are measured, and each play takes its cart's gain.
    // Null (the default) plays every cart at unity. Not owned.
    void setLeveller(Leveller* leveller) {
        m_leveller = leveller;
        m_cache.setLeveller(leveller);
    }
    int sampleRate() const { return m_sampleRate; }

    // The cart cache's openCart(): no file is read on the UI thread.
    std::shared_ptr<Cart> openCart(const QString& path);
    CartCache& cache() { return m_cache; }
    void setMeasureRunner(CartCache::MeasureRunner runner) {
        m_cache.setMeasureRunner(std::move(runner));
    }

    // The levelling gain a play of the cart takes (unity while it is unmeasured).
    float gainFor(const std::shared_ptr<Cart>& cart) const;

    // The plays (VoiceTransport), each at its cart's levelling gain.
    VoiceHandle play(const std::shared_ptr<Cart>& cart);
    void pause(VoiceHandle voice) { m_voices.pause(voice); }
    void resume(VoiceHandle voice) { m_voices.resume(voice); }
    VoiceHandle release(VoiceHandle voice) { return m_voices.release(voice); }
    bool arm(VoiceHandle voice, const std::shared_ptr<Cart>& cart);
    void disarm(VoiceHandle voice) { m_voices.disarm(voice); }
    VoiceHandle handedOver(VoiceHandle voice) { return m_voices.handedOver(voice); }
    bool hasFollower(VoiceHandle voice) { return m_voices.hasFollower(voice); }
    bool isRunning(VoiceHandle voice) { return m_voices.isRunning(voice); }
    std::int64_t consumedFrames(VoiceHandle voice) { return m_voices.consumedFrames(voice); }
    std::int64_t heardFrames(VoiceHandle voice) { return m_voices.heardFrames(voice); }
    bool isHeardToEnd(VoiceHandle voice) { return m_voices.isHeardToEnd(voice); }
    std::shared_ptr<Cart> cartOf(VoiceHandle voice) { return m_voices.cartOf(voice); }
    VoiceTransport& voices() { return m_voices; }

    // The cart cache's waits (tests, benchmarks).
    void waitForMeasurements() { m_cache.waitForMeasurements(); }
    void waitForBackgroundWork() { m_cache.waitForBackgroundWork(); }
    // Reader threads made for the streams so far (tests, benchmarks).
    std::size_t streamReaders() const { return m_voices.streamReaders(); }

    std::uint64_t underruns() const { return m_voices.underruns(); }
    std::uint64_t renderedFrames() const { return m_voices.renderedFrames(); }
    QString takeUnderrunReport() { return m_voices.takeUnderrunReport(); }
    QString describeDropouts() const { return m_voices.describeDropouts(); }

signals:
    void cartChanged(const QString& path);
    // A running play of the cart at path has played all it had while its file does not
    // answer (once per stall); it plays on from there when the file answers.
    void fileStalled(const QString& path);
    // A play reported by fileStalled has frames again, or is gone.
    void fileAnswered(const QString& path);

private:
    // Reports the streams that starve while their files do not answer, and those that
    // answer again; rests when no voice streams.
    void checkStalls();

    std::unique_ptr<OutputDevice> m_device;
    const int m_sampleRate;
    VoiceTransport m_voices;
    CartCache m_cache;
    Leveller* m_leveller = nullptr;
    QTimer m_stallTimer;
};
