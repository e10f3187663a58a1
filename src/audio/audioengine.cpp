#include "audio/audioengine.h"

#include "audio/cart.h"
#include "audio/filesource.h"
#include "audio/leveller.h"
#include "audio/voice.h"

#include <algorithm>
#include <cstdio>
#include <utility>

AudioEngine::AudioEngine(std::unique_ptr<OutputDevice> device, std::shared_ptr<FileSource> files)
    : m_device(std::move(device)), m_sampleRate(m_device->sampleRate()),
      m_ringFrames(static_cast<std::size_t>(
          std::max(kRingSeconds * m_sampleRate, 4 * m_device->periodFrames()))),
      m_mixer(m_sampleRate), m_cache(m_sampleRate, kHeadSeconds * m_sampleRate,
                                     files ? std::move(files) : FileSource::system()) {
    connect(&m_cache, &CartCache::cartChanged, this, &AudioEngine::cartChanged);
    m_device->start(*this);

    m_underrunTimer.setInterval(kUnderrunReportInterval);
    connect(&m_underrunTimer, &QTimer::timeout, this, [this] {
        const QString report = takeUnderrunReport();
        if (!report.isEmpty())
            std::fprintf(stderr, "%s\n", qPrintable(report));
    });
    m_underrunTimer.start();

    m_stallTimer.setParent(this);
    m_stallTimer.setObjectName(QStringLiteral("StallTimer"));
    m_stallTimer.setInterval(kStallCheckInterval);
    connect(&m_stallTimer, &QTimer::timeout, this, &AudioEngine::checkStalls);
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
    // One deadline for every worker, so that a share that stopped answering holds the end
    // for kEndWait at most, however many readers it holds.
    const auto deadline = WorkerQueue::Clock::now() + kEndWait;
    m_cache.finish(deadline);
    // The callback stops first; then no voice is in use and all can go.
    m_device->stop();
    m_streams.finish(deadline);
    m_voices.clear();
}

void AudioEngine::render(float* out, int frames) noexcept {
    m_mixer.render(out, frames);
}

void AudioEngine::waitUntilReady(int frames) {
    std::vector<StreamReaders::Need> needs;
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
    return m_cache.openCart(path);
}

void AudioEngine::checkStalls() {
    reap();
    QSet<const Stream*> starving, stalled;
    QStringList newlyStalled;
    bool streaming = false;
    for (const auto& voice : m_voices) {
        const Stream* stream = voice->stream.get();
        if (!stream || stream->hasEnded())
            continue;
        streaming = true;
        // An armed follower has not started: its file has time yet.
        const bool armed = std::any_of(m_voices.begin(), m_voices.end(), [&voice](const auto& v) {
            return v->follower.load(std::memory_order_acquire) == voice.get();
        });
        const bool hungry = !armed &&
                            voice->request.load(std::memory_order_relaxed) == Voice::Run &&
                            voice->consumed.load(std::memory_order_acquire) >= voice->headFrames &&
                            stream->ring().readableFrames() == 0 && stream->isWaitingOnFile();
        if (!hungry)
            continue;
        starving.insert(stream);
        // Seen on two checks in a row: an open that simply takes a few milliseconds is not
        // a file that stopped answering.
        if (!m_starving.contains(stream))
            continue;
        if (!m_stalled.contains(stream))
            newlyStalled.push_back(voice->cart->path());
        stalled.insert(stream);
    }
    m_starving = starving;
    m_stalled = stalled;
    if (!streaming)
        m_stallTimer.stop();
    // After the walk: a receiver may release voices.
    for (const QString& path : newlyStalled)
        emit fileStalled(path);
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
    auto voice = makeVoice(cart);
    if (!voice || !m_mixer.add(voice.get()))
        return {};
    if (voice->stream) {
        m_streams.add(voice->stream);
        if (!m_stallTimer.isActive())
            m_stallTimer.start();
    }
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
    if (follower->stream) {
        m_streams.add(follower->stream);
        if (!m_stallTimer.isActive())
            m_stallTimer.start();
    }
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
