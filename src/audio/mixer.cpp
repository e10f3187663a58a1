#include "audio/mixer.h"

#include <algorithm>

namespace {

// Adds src to out with a gain moving linearly from `from` towards `to` over frames frames.
void addRamped(float* out, const float* src, int frames, float from, float to) {
    const float step = frames > 0 ? (to - from) / static_cast<float>(frames) : 0.0f;
    float gain = from;
    for (int i = 0; i < frames; ++i) {
        gain += step;
        out[2 * i] += src[2 * i] * gain;
        out[2 * i + 1] += src[2 * i + 1] * gain;
    }
}

void mixIn(float* out, const float* src, int frames, float gain) {
    for (int i = 0; i < frames * 2; ++i)
        out[i] += src[i] * gain;
}

} // namespace

Mixer::Mixer(int sampleRate)
    : m_rampFrames(std::max(1, sampleRate / (1000000 / kRampMicroseconds))),
      m_scratch(static_cast<std::size_t>(kChunkFrames) * 2) {}

bool Mixer::add(Voice* voice) {
    // Only this thread stores non-null pointers, so a slot seen empty stays ours.
    for (auto& slot : m_inbox) {
        if (slot.load(std::memory_order_relaxed) == nullptr) {
            // Release: the voice is fully built before the callback that takes it reads it.
            slot.store(voice, std::memory_order_release);
            return true;
        }
    }
    return false;
}

bool Mixer::withdraw(Voice* voice) {
    for (auto& slot : m_inbox) {
        Voice* expected = voice;
        if (slot.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel))
            return true;
    }
    return false;
}

void Mixer::adopt() {
    for (auto& slot : m_inbox) {
        if (m_activeCount == kMaxVoices)
            return;
        if (slot.load(std::memory_order_relaxed) == nullptr)
            continue;
        // Acquire: pairs with add()'s release, so the voice's fields are seen complete.
        if (Voice* voice = slot.exchange(nullptr, std::memory_order_acquire))
            m_active[static_cast<std::size_t>(m_activeCount++)] = voice;
    }
}

void Mixer::render(float* out, int frames) noexcept {
    std::fill(out, out + static_cast<std::size_t>(frames) * 2, 0.0f);
    adopt();
    const std::uint64_t first = m_rendered.load(std::memory_order_relaxed);
    for (int done = 0; done < frames;) {
        const int n = std::min(kChunkFrames, frames - done);
        renderChunk(out + static_cast<std::size_t>(done) * 2, n, first + done);
        done += n;
    }
    // Release: the voices' reports written above are visible with the new frame count.
    m_rendered.store(first + static_cast<std::uint64_t>(frames), std::memory_order_release);
}

bool Mixer::isSilent() const noexcept {
    for (const auto& slot : m_inbox) {
        if (slot.load(std::memory_order_relaxed) != nullptr)
            return false;
    }
    for (int i = 0; i < m_activeCount; ++i) {
        const Voice& voice = *m_active[static_cast<std::size_t>(i)];
        switch (voice.request.load(std::memory_order_relaxed)) {
        case Voice::Pause:
            // Faded out (or never heard): it stays silent until it is resumed.
            if (voice.started && !voice.finished && !voice.paused)
                return false;
            break;
        case Voice::Run:
            // Only a voice that has played out, with no follower to hand over to, is done.
            if (!voice.finished || voice.follower.load(std::memory_order_relaxed) != nullptr)
                return false;
            break;
        default: // a release is still to be let go of
            return false;
        }
    }
    return true;
}

void Mixer::renderChunk(float* out, int frames, std::uint64_t firstFrame) {
    for (int i = 0; i < m_activeCount;) {
        Voice* voice = m_active[static_cast<std::size_t>(i)];
        if (Voice* holder = mixVoice(*voice, out, frames, firstFrame)) {
            m_active[static_cast<std::size_t>(i++)] = holder;
            continue;
        }
        m_active[static_cast<std::size_t>(i)] = m_active[static_cast<std::size_t>(--m_activeCount)];
        // Release: the last touch; after this the UI thread may delete the voice.
        voice->released.store(true, std::memory_order_release);
    }
}

int Mixer::pull(Voice& voice, float* dst, int frames) {
    int got = 0;
    if (voice.position < voice.headFrames) {
        const auto take =
            static_cast<int>(std::min<std::int64_t>(frames, voice.headFrames - voice.position));
        const float* from = voice.head + voice.position * 2;
        std::copy(from, from + static_cast<std::size_t>(take) * 2, dst);
        got = take;
    }
    if (got < frames && voice.stream) {
        got += static_cast<int>(voice.stream->ring().read(dst + static_cast<std::size_t>(got) * 2,
                                                          static_cast<std::size_t>(frames - got)));
    }
    voice.position += got;
    return got;
}

Voice* Mixer::handOver(Voice& voice, float* out, int frames, std::uint64_t firstFrame) {
    if (voice.follower.load(std::memory_order_relaxed) == nullptr)
        return &voice;
    // Acquire: pairs with the arming store, so the follower is seen complete. The exchange
    // tells the UI thread, which may be taking it back at the same moment, who has it.
    Voice* next = voice.follower.exchange(nullptr, std::memory_order_acq_rel);
    if (!next)
        return &voice;
    // Release: the last touch of the voice that ran out.
    voice.released.store(true, std::memory_order_release);
    return mixVoice(*next, out, frames, firstFrame);
}

Voice* Mixer::mixVoice(Voice& voice, float* out, int frames, std::uint64_t firstFrame) {
    const int request = voice.request.load(std::memory_order_acquire);
    const bool audible = voice.started && !voice.finished && !voice.paused;
    if (request != Voice::Run) {
        if (audible) {
            // A short fade out of the frames that follow, then silence.
            const int n = pull(voice, m_scratch.data(), std::min(m_rampFrames, frames));
            addRamped(out, m_scratch.data(), n, voice.gain, 0.0f);
            voice.consumed.store(voice.position, std::memory_order_relaxed);
            voice.lastFrame.store(firstFrame + static_cast<std::uint64_t>(n),
                                  std::memory_order_relaxed);
        }
        if (request == Voice::Release)
            return nullptr;
        // Only a cart that was heard fades back in when it resumes.
        if (audible)
            voice.paused = true;
        return &voice;
    }
    // A follower armed after the end starts at once.
    if (voice.finished)
        return handOver(voice, out, frames, firstFrame);
    const bool resuming = voice.paused;
    voice.paused = false;

    const int got = pull(voice, m_scratch.data(), frames);
    if (resuming) {
        const int ramp = std::min(got, m_rampFrames);
        addRamped(out, m_scratch.data(), ramp, 0.0f, voice.gain);
        mixIn(out + static_cast<std::size_t>(ramp) * 2,
              m_scratch.data() + static_cast<std::size_t>(ramp) * 2, got - ramp, voice.gain);
    } else {
        mixIn(out, m_scratch.data(), got, voice.gain);
    }
    if (got > 0) {
        voice.started = true;
        voice.consumed.store(voice.position, std::memory_order_relaxed);
        voice.lastFrame.store(firstFrame + static_cast<std::uint64_t>(got),
                              std::memory_order_relaxed);
    }
    const Stream* stream = voice.stream.get();
    // The end flag is read before the ring: frames written before it are all counted.
    const bool drained = voice.position >= voice.headFrames &&
                         (!stream || (stream->hasEnded() && stream->ring().readableFrames() == 0));
    if (drained) {
        voice.finished = true;
        // Release: consumed and lastFrame above are final for a reader that sees this.
        voice.ended.store(true, std::memory_order_release);
        // The follower's first frame is the one after this voice's last.
        return handOver(voice, out + static_cast<std::size_t>(got) * 2, frames - got,
                        firstFrame + static_cast<std::uint64_t>(got));
    }
    if (got < frames && voice.started)
        m_underruns.fetch_add(1, std::memory_order_relaxed);
    return &voice;
}
