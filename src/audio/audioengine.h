#pragma once

#include "audio/cartcache.h"
#include "audio/mixer.h"
#include "audio/outputdevice.h"
#include "audio/streamreaders.h"

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
struct Voice;

// One play handed out by the engine. The engine looks a play up by the handle's number,
// which is never given twice: a handle whose play has been released refers to nothing,
// never to a later play, and every call on it does nothing.
class VoiceHandle {
public:
    VoiceHandle() = default;
    explicit operator bool() const { return m_id != 0; }
    friend bool operator==(VoiceHandle, VoiceHandle) = default;

private:
    friend class AudioEngine;
    explicit VoiceHandle(std::uint64_t id) : m_id(id) {}
    std::uint64_t m_id = 0;
};

// The media engine behind the media controls: one output device kept open for the life of
// the engine, the cart cache (CartCache), the stream readers, and the voices handed to the
// output callback.
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
// decoded frames while its file does not answer.
class AudioEngine : public QObject, private RenderSource {
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

    // Starts a play of the cart from its beginning. Empty when there is nothing to play (an
    // unopenable or empty cart) or every voice slot is taken.
    VoiceHandle play(const std::shared_ptr<Cart>& cart);
    void pause(VoiceHandle voice);
    void resume(VoiceHandle voice);
    // Silences the voice within one period and lets go of it, and of a follower that has
    // not started. Returns the follower that has started, if any: a play of its own,
    // which the caller now holds.
    VoiceHandle release(VoiceHandle voice);

    // Arms a play of cart to start on the frame after the voice's last, in place of the
    // one armed before. False, with nothing armed, when the cart cannot play or the voice
    // has run out or handed over already.
    bool arm(VoiceHandle voice, const std::shared_ptr<Cart>& cart);
    // Takes back the follower armed on the voice, unless it has started.
    void disarm(VoiceHandle voice);
    // The follower that started after the voice's last frame; empty while none has.
    VoiceHandle handedOver(VoiceHandle voice) const;
    // Whether a follower is armed on the voice or has already taken over from it.
    bool hasFollower(VoiceHandle voice) const;

    // Not paused, stopped or released.
    bool isRunning(VoiceHandle voice) const;
    // The frames of the cart the output has consumed.
    std::int64_t consumedFrames(VoiceHandle voice) const;
    // What has been heard of the voice: the frames consumed by the output less those still
    // in the device's latency.
    std::int64_t heardFrames(VoiceHandle voice) const;
    // The voice has rendered its last frame and that frame has been heard (or it is gone).
    bool isHeardToEnd(VoiceHandle voice) const;
    std::shared_ptr<Cart> cartOf(VoiceHandle voice) const;

    // The cart cache's waits (tests, benchmarks).
    void waitForMeasurements() { m_cache.waitForMeasurements(); }
    void waitForBackgroundWork() { m_cache.waitForBackgroundWork(); }
    // Reader threads made for the streams so far (tests, benchmarks).
    std::size_t streamReaders() const { return m_streams.readerCount(); }

    std::uint64_t underruns() const { return m_mixer.underruns(); }
    std::uint64_t renderedFrames() const { return m_mixer.renderedFrames(); }

    // Once a second the engine prints on stderr the underruns counted since the last line
    // (a playing cart whose decoding fell behind, a period the device played late), so
    // drop-outs on air leave a trace on the terminal. The line, or "" when there were none.
    static constexpr int kUnderrunReportInterval = 1000;
    QString takeUnderrunReport();

signals:
    void cartChanged(const QString& path);
    // A running play of the cart at path has played all it had while its file does not
    // answer (once per stall); it plays on from there when the file answers.
    void fileStalled(const QString& path);

private:
    void render(float* out, int frames) noexcept override;
    void waitUntilReady(int frames) override;
    bool isSilent() const noexcept override { return m_mixer.isSilent(); }
    // Deletes the voices the callback has let go of.
    void reap();
    // A voice for a play of cart from its beginning, not yet handed to the callback; null
    // when the cart cannot play.
    std::unique_ptr<Voice> makeVoice(const std::shared_ptr<Cart>& cart);
    Voice* find(VoiceHandle handle) const;
    void erase(const Voice* voice);
    std::uint64_t framesSince(std::uint64_t frame) const;
    // Reports the streams that starve while their files do not answer; rests when no
    // voice streams.
    void checkStalls();

    std::unique_ptr<OutputDevice> m_device;
    const int m_sampleRate;
    const std::size_t m_ringFrames;
    Mixer m_mixer;
    StreamReaders m_streams;
    CartCache m_cache;
    Leveller* m_leveller = nullptr;
    QTimer m_stallTimer;
    QSet<const Stream*> m_starving; // without frames while waiting on the file, last check
    QSet<const Stream*> m_stalled;  // reported, and not flowing again since
    std::vector<std::unique_ptr<Voice>> m_voices; // every voice not yet deleted
    std::uint64_t m_lastVoiceId = 0;
    QTimer m_underrunTimer;
    std::uint64_t m_reportedUnderruns = 0;
    std::uint64_t m_reportedDeviceUnderruns = 0;
};
