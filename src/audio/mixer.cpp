#include "audio/mixer.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <utility>

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

constexpr std::uint32_t kExponentBits = 0x7f800000u; // all set: NaN or an infinity

// One sample, without a jump: NaN and infinities become silence, the rest is clipped at
// full scale. 1 for a sample that was not finite.
std::uint32_t limit(float& sample) noexcept {
    const auto bits = std::bit_cast<std::uint32_t>(sample);
    const std::uint32_t nonFinite = (bits & kExponentBits) == kExponentBits;
    const float finite = std::bit_cast<float>(bits & (nonFinite - 1u));
    sample = std::min(std::max(finite, -1.0f), 1.0f);
    return nonFinite;
}

} // namespace

Mixer::Mixer(int sampleRate)
    : m_rampFrames(std::max(1, sampleRate / (1000000 / kRampMicroseconds))),
      m_scratch(static_cast<std::size_t>(kChunkFrames) * 2) {}

int keepWithinFullScale(float* samples, std::size_t count) noexcept {
    // Blocks of a fixed size, which the compiler turns into vector instructions.
    constexpr std::size_t kBlock = 16;
    std::uint32_t nonFinite = 0;
    std::size_t i = 0;
    for (; i + kBlock <= count; i += kBlock) {
        for (std::size_t j = 0; j < kBlock; ++j)
            nonFinite += limit(samples[i + j]);
    }
    for (; i < count; ++i)
        nonFinite += limit(samples[i]);
    return static_cast<int>(nonFinite);
}

void Mixer::report(Event::Kind kind, const Voice& voice, const Voice* next) {
    // Cannot fail: see canTake().
    m_events.push({kind, voice.id, next ? next->id : 0});
}

Voice* Mixer::playing(std::uint64_t id) const {
    Voice* successor = nullptr;
    for (int i = 0; i < m_activeCount; ++i) {
        Voice* voice = m_active[static_cast<std::size_t>(i)];
        if (voice->id == id)
            return voice;
        if (voice->predecessorId == id)
            successor = voice;
    }
    return successor;
}

void Mixer::drop(Voice* voice) {
    report(Event::Released, *voice);
}

void Mixer::releaseVoice(Voice& voice) {
    voice.request = Voice::Release;
    if (voice.follower)
        drop(std::exchange(voice.follower, nullptr));
}

void Mixer::apply(const Command& command) {
    switch (command.kind) {
    case Command::Add:
        m_active[static_cast<std::size_t>(m_activeCount++)] = command.voice;
        return;
    case Command::Arm: {
        // Only on the voice itself: one that took over from it was never asked for this.
        Voice* holder = playing(command.target);
        if (holder && holder->id == command.target && holder->request != Voice::Release) {
            if (holder->follower)
                drop(holder->follower);
            holder->follower = command.voice;
        } else {
            drop(command.voice);
        }
        return;
    }
    case Command::Disarm:
        if (Voice* voice = playing(command.target)) {
            if (voice->id != command.target)
                releaseVoice(*voice); // the follower started before it was taken back
            else if (voice->follower)
                drop(std::exchange(voice->follower, nullptr));
        }
        return;
    case Command::Pause:
    case Command::Resume:
        if (Voice* voice = playing(command.target);
            voice && voice->id == command.target && voice->request != Voice::Release) {
            voice->request = command.kind == Command::Pause ? Voice::Pause : Voice::Run;
        }
        return;
    case Command::Release:
        // The sender let go of the voice and of a follower it had not seen start.
        if (Voice* voice = playing(command.target))
            releaseVoice(*voice);
        return;
    }
}

bool Mixer::canTake(const Command& command) const {
    if (command.kind == Command::Add && m_activeCount == kMaxVoices)
        return false;
    return m_events.room() > static_cast<std::size_t>(kEventsOwedPerSlot * (m_activeCount + 1));
}

void Mixer::takeCommands() {
    // A command that cannot be taken waits for a later render, and those behind it too.
    while (const Command* command = m_commands.front()) {
        if (!canTake(*command))
            return;
        apply(*command);
        m_commands.popFront();
    }
}

void Mixer::render(float* out, int frames) noexcept {
    const std::size_t samples = static_cast<std::size_t>(frames) * 2;
    std::fill(out, out + samples, 0.0f);
    takeCommands();
    const std::uint64_t first = m_rendered.load(std::memory_order_relaxed);
    for (int done = 0; done < frames;) {
        const int n = std::min(kChunkFrames, frames - done);
        renderChunk(out + static_cast<std::size_t>(done) * 2, n, first + done);
        done += n;
    }
    if (const int nonFinite = keepWithinFullScale(out, samples))
        m_nonFinite.fetch_add(static_cast<std::uint64_t>(nonFinite), std::memory_order_relaxed);
    // Release: the voices' reports written above are visible with the new frame count.
    m_rendered.store(first + static_cast<std::uint64_t>(frames), std::memory_order_release);
}

bool Mixer::isSilent() const noexcept {
    if (!m_commands.empty())
        return false;
    for (int i = 0; i < m_activeCount; ++i) {
        const Voice& voice = *m_active[static_cast<std::size_t>(i)];
        switch (voice.request) {
        case Voice::Pause:
            // Faded out (or never heard): it stays silent until it is resumed.
            if (voice.started && !voice.finished && !voice.paused)
                return false;
            break;
        case Voice::Run:
            // Only a voice that has played out, with no follower to hand over to, is done.
            if (!voice.finished || voice.follower)
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
    Voice* next = std::exchange(voice.follower, nullptr);
    if (!next)
        return &voice;
    next->predecessorId = voice.id;
    // The last touch of the voice that ran out.
    report(Event::HandedOver, voice, next);
    return mixVoice(*next, out, frames, firstFrame);
}

Voice* Mixer::mixVoice(Voice& voice, float* out, int frames, std::uint64_t firstFrame) {
    const bool audible = voice.started && !voice.finished && !voice.paused;
    if (voice.request != Voice::Run) {
        if (audible) {
            // A short fade out of the frames that follow, then silence.
            const int n = pull(voice, m_scratch.data(), std::min(m_rampFrames, frames));
            addRamped(out, m_scratch.data(), n, voice.gain, 0.0f);
            voice.consumed.store(voice.position, std::memory_order_relaxed);
            voice.lastFrame.store(firstFrame + static_cast<std::uint64_t>(n),
                                  std::memory_order_relaxed);
        }
        if (voice.request == Voice::Release) {
            // The last touch; the UI thread may delete the voice once it takes the event.
            report(Event::Released, voice);
            return nullptr;
        }
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
        if (!voice.follower) {
            report(Event::Ended, voice);
            return &voice;
        }
        // The follower's first frame is the one after this voice's last.
        return handOver(voice, out + static_cast<std::size_t>(got) * 2, frames - got,
                        firstFrame + static_cast<std::uint64_t>(got));
    }
    if (got < frames && voice.started)
        m_underruns.fetch_add(1, std::memory_order_relaxed);
    return &voice;
}
