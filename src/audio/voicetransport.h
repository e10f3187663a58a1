#pragma once

#include "audio/mixer.h"
#include "audio/outputdevice.h"
#include "audio/streamreaders.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

class Cart;

// One play handed out by the transport. It looks a play up by the handle's number, which
// is never given twice: a handle whose play has been released refers to nothing, never to
// a later play, and every call on it does nothing.
class VoiceHandle {
public:
    VoiceHandle() = default;
    explicit operator bool() const { return m_id != 0; }
    friend bool operator==(VoiceHandle, VoiceHandle) = default;

private:
    friend class VoiceTransport;
    explicit VoiceHandle(std::uint64_t id) : m_id(id) {}
    std::uint64_t m_id = 0;
};

// The plays of carts: builds each voice, starts its stream, hands it to the output
// callback's mixer and steers it there by commands, learns from the mixer's events what
// became of it, and deletes it once both sides have let go. It renders for the device and
// reports underruns once a second.
//
// UI thread, apart from render() and isSilent() (the output callback's) and
// waitUntilReady() (the rendering thread of a device whose clock the caller drives: the
// UI thread). No call blocks but waitUntilReady(). The device must stop calling before
// the transport goes.
class VoiceTransport : public RenderSource {
public:
    VoiceTransport(OutputDevice& device, std::size_t ringFrames);
    ~VoiceTransport() override;
    VoiceTransport(const VoiceTransport&) = delete;
    VoiceTransport& operator=(const VoiceTransport&) = delete;

    // Starts a play of the cart at the gain, from its beginning or from the cart frame
    // fromFrame (within the cart). Empty when there is nothing to play (an unopenable or
    // empty cart) or Mixer::kMaxVoices plays are held.
    VoiceHandle play(const std::shared_ptr<Cart>& cart, float gain, std::int64_t fromFrame = 0);
    void pause(VoiceHandle voice);
    void resume(VoiceHandle voice);
    // Silences the voice within one period and lets go of it, and of a follower not seen
    // to start. Returns the follower seen to start, if any: a play of its own, which the
    // caller now holds. (A follower that started in the instant before is silenced too.)
    VoiceHandle release(VoiceHandle voice);

    // Arms a play of cart to start on the frame after the voice's last, in place of the
    // one armed before. False, with nothing armed, when the cart cannot play or the voice
    // has run out or handed over already.
    bool arm(VoiceHandle voice, const std::shared_ptr<Cart>& cart, float gain);
    // Takes back the follower armed on the voice, unless it has been seen to start (one
    // that started in the instant before is silenced).
    void disarm(VoiceHandle voice);
    // The follower that started after the voice's last frame; empty while none has.
    VoiceHandle handedOver(VoiceHandle voice);
    // Whether a follower is armed on the voice or has already taken over from it.
    bool hasFollower(VoiceHandle voice);

    // Not paused, stopped or released.
    bool isRunning(VoiceHandle voice);
    // The frames of the cart the output has consumed.
    std::int64_t consumedFrames(VoiceHandle voice);
    // What has been heard of the voice: the frames consumed by the output less those still
    // in the device's latency.
    std::int64_t heardFrames(VoiceHandle voice);
    // The voice has rendered its last frame and that frame has been heard (or it is gone).
    bool isHeardToEnd(VoiceHandle voice);
    std::shared_ptr<Cart> cartOf(VoiceHandle voice);
    // Voices not yet deleted: held by a handle, or not yet let go of by the callback.
    int voiceCount();

    std::uint64_t underruns() const { return m_mixer.underruns(); }
    std::uint64_t renderedFrames() const { return m_mixer.renderedFrames(); }
    std::uint64_t nonFiniteSamples() const { return m_mixer.nonFiniteSamples(); }

    // Once a second the transport prints on stderr the underruns counted since the last
    // line (a playing cart whose decoding fell behind, a period the device played late),
    // the samples that were not finite and the dropouts the output counted against the
    // clock, so drop-outs and damaged sound on air leave a trace on the terminal. The line,
    // or "" when there was nothing. It starts with the label, which names the output when
    // there is more than one.
    static constexpr int kUnderrunReportInterval = 1000;
    static inline const QString kOnAirReportLabel = QStringLiteral("Audio underruns: ");
    void setReportLabel(const QString& label) { m_reportLabel = label; }
    QString takeUnderrunReport();
    // The output's dropouts since the start, for the operator; "" when it counts none.
    QString describeDropouts() const;

    // Streams that have starved on two checks in a row while their files do not answer
    // (an open that simply takes a few milliseconds is not a file that stopped answering),
    // reported once each; those reported before that flow again or are gone; and whether
    // any voice still streams. An armed follower that has not started is never stalled:
    // its file has time yet.
    struct Stalls {
        QStringList stalled;
        QStringList answered;
        bool streaming = false;
    };
    Stalls checkStalls();

    // Cancels the streams and waits for their readers until deadline (StreamReaders).
    void finishStreams(WorkerQueue::Clock::time_point deadline) { m_streams.finish(deadline); }
    std::size_t streamReaders() const { return m_streams.readerCount(); }

    void render(float* out, int frames) noexcept override { m_mixer.render(out, frames); }
    void waitUntilReady(int frames) override;
    bool isSilent() const noexcept override { return m_mixer.isSilent(); }

private:
    // The UI thread's record of a voice.
    struct Entry {
        std::unique_ptr<Voice> voice;
        bool held = true;            // a handle (or its holder, for a follower) still wants it
        bool inMixer = true;         // not yet let go of by the callback, as far as we have heard
        bool running = true;         // not paused or released
        bool ended = false;          // played out, as far as we have heard
        std::uint64_t follower = 0;  // armed on it, not seen to start
        std::uint64_t successor = 0; // seen to take over from it
    };

    // A voice for a play of cart from its beginning; null when the cart cannot play or
    // too many voices are alive.
    std::unique_ptr<Voice> makeVoice(const std::shared_ptr<Cart>& cart, float gain,
                                     std::int64_t fromFrame = 0) const;
    // Takes the mixer's events and passes on waiting commands, then deletes the voices
    // that both sides have let go of. Every call starts with it, so queries change state.
    void update();
    void send(Mixer::Command::Kind kind, std::uint64_t target, Voice* voice = nullptr);
    void setRunning(VoiceHandle handle, bool running);
    // Valid until the next update() or added voice.
    Entry* entry(std::uint64_t id);
    // The voice of a handle, unless the UI thread has let go of it.
    Entry* find(VoiceHandle handle);
    // The UI thread lets go of a voice (and its stream).
    void letGo(Entry& entry);
    std::uint64_t framesSince(std::uint64_t frame) const;
    QString milliseconds(std::uint64_t frames) const;

    OutputDevice& m_device;
    const int m_sampleRate;
    const std::size_t m_ringFrames;
    Mixer m_mixer;
    StreamReaders m_streams;
    QSet<const Stream*> m_starving;          // without frames while waiting on the file
    QHash<const Stream*, QString> m_stalled; // reported, and not flowing again since
    std::vector<Entry> m_entries;
    // Commands that found the mixer's queue full (a device that has stopped calling),
    // passed on in order as it empties.
    std::deque<Mixer::Command> m_waiting;
    std::uint64_t m_lastVoiceId = 0;
    QTimer m_underrunTimer;
    QString m_reportLabel = kOnAirReportLabel;
    std::uint64_t m_reportedUnderruns = 0;
    std::uint64_t m_reportedDeviceUnderruns = 0;
    std::uint64_t m_reportedNonFinite = 0;
    OutputDevice::Dropouts m_reportedDropouts;
};
