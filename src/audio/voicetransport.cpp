#include "audio/voicetransport.h"

#include "audio/cart.h"
#include "audio/voice.h"

#include <algorithm>
#include <cstdio>
#include <utility>

VoiceTransport::VoiceTransport(OutputDevice& device, std::size_t ringFrames)
    : m_device(device), m_sampleRate(device.sampleRate()), m_ringFrames(ringFrames),
      m_mixer(m_sampleRate) {
    m_underrunTimer.setInterval(kUnderrunReportInterval);
    QObject::connect(&m_underrunTimer, &QTimer::timeout, [this] {
        // Voices let go of while no one asks about them are deleted here too.
        update();
        const QString report = takeUnderrunReport();
        if (!report.isEmpty())
            std::fprintf(stderr, "%s\n", qPrintable(report));
    });
    m_underrunTimer.start();
}

VoiceTransport::~VoiceTransport() = default;

QString VoiceTransport::takeUnderrunReport() {
    const std::uint64_t decoding = m_mixer.underruns();
    const std::uint64_t device = m_device.deviceUnderruns();
    const std::uint64_t nonFinite = m_mixer.nonFiniteSamples();
    const OutputDevice::Dropouts dropouts = m_device.dropouts().value_or(OutputDevice::Dropouts{});
    const std::uint64_t newDecoding = decoding - std::exchange(m_reportedUnderruns, decoding);
    const std::uint64_t newDevice = device - std::exchange(m_reportedDeviceUnderruns, device);
    const std::uint64_t newNonFinite = nonFinite - std::exchange(m_reportedNonFinite, nonFinite);
    const OutputDevice::Dropouts before = std::exchange(m_reportedDropouts, dropouts);
    const std::uint64_t newDropouts = dropouts.count - before.count;
    if (newDecoding == 0 && newDevice == 0 && newNonFinite == 0 && newDropouts == 0)
        return {};
    QString report = m_reportLabel + QStringLiteral("%1 periods short of decoded audio, %2 "
                                                    "periods late on the output device.")
                                         .arg(newDecoding)
                                         .arg(newDevice);
    if (newNonFinite > 0)
        report += QStringLiteral(" %1 samples that were not numbers went out as silence.")
                      .arg(newNonFinite);
    if (newDropouts > 0)
        report += QStringLiteral(" %1 dropouts heard (%2 ms missed); %3.")
                      .arg(newDropouts)
                      .arg(milliseconds(dropouts.frames - before.frames))
                      .arg(describeDropouts());
    return report;
}

QString VoiceTransport::describeDropouts() const {
    const std::optional<OutputDevice::Dropouts> dropouts = m_device.dropouts();
    if (!dropouts)
        return {};
    return QStringLiteral("%1 dropouts (%2 ms missed) since the start")
        .arg(dropouts->count)
        .arg(milliseconds(dropouts->frames));
}

QString VoiceTransport::milliseconds(std::uint64_t frames) const {
    return QString::number(1000.0 * static_cast<double>(frames) / m_sampleRate, 'f', 1);
}

void VoiceTransport::update() {
    Mixer::Event event;
    while (m_mixer.takeEvent(event)) {
        Entry* voice = entry(event.voice);
        if (!voice)
            continue;
        voice->ended = true;
        if (event.kind == Mixer::Event::Ended)
            continue;
        voice->inMixer = false;
        // A follower not seen to start either took over, or came too late and was dropped.
        if (Entry* follower = entry(std::exchange(voice->follower, 0));
            follower && follower->voice->id != event.next) {
            letGo(*follower);
        }
        if (const Entry* next = entry(event.next); next && next->held)
            voice->successor = event.next;
    }
    bool passed = false;
    while (!m_waiting.empty() && m_mixer.send(m_waiting.front())) {
        m_waiting.pop_front();
        passed = true;
    }
    if (passed)
        m_device.wake();
    std::erase_if(m_entries, [](const Entry& e) { return !e.held && !e.inMixer; });
}

void VoiceTransport::send(Mixer::Command::Kind kind, std::uint64_t target, Voice* voice) {
    const Mixer::Command command{kind, voice, target};
    if (!m_waiting.empty() || !m_mixer.send(command))
        m_waiting.push_back(command);
    m_device.wake();
}

VoiceTransport::Entry* VoiceTransport::entry(std::uint64_t id) {
    if (id == 0)
        return nullptr;
    const auto found = std::find_if(m_entries.begin(), m_entries.end(),
                                    [id](const Entry& e) { return e.voice->id == id; });
    return found != m_entries.end() ? &*found : nullptr;
}

VoiceTransport::Entry* VoiceTransport::find(VoiceHandle handle) {
    Entry* found = entry(handle.m_id);
    return found && found->held ? found : nullptr;
}

void VoiceTransport::letGo(Entry& entry) {
    entry.held = false;
    entry.running = false;
    if (entry.voice->stream)
        m_streams.cancel(*entry.voice->stream);
}

std::unique_ptr<Voice> VoiceTransport::makeVoice(const std::shared_ptr<Cart>& cart, float gain,
                                                 std::int64_t fromFrame) const {
    const auto held =
        std::count_if(m_entries.begin(), m_entries.end(), [](const Entry& e) { return e.held; });
    if (!cart || !cart->isOpenable() || cart->lengthMs() <= 0 || held >= Mixer::kMaxVoices)
        return nullptr;
    auto voice = std::make_unique<Voice>();
    voice->cart = cart;
    voice->gain = gain;
    const bool prepared = cart->isPrepared();
    if (prepared) {
        voice->head = cart->head();
        voice->headFrames = cart->headFrames();
    }
    // A play from further on takes what it can of the head, and its stream decodes and
    // drops the frames up to its start.
    voice->position = std::max<std::int64_t>(0, fromFrame);
    voice->consumed.store(voice->position, std::memory_order_relaxed);
    if (!prepared || !cart->headIsWhole() || voice->position > voice->headFrames) {
        voice->stream = std::make_shared<Stream>(
            cart, m_sampleRate, std::max(voice->headFrames, voice->position), m_ringFrames);
    }
    return voice;
}

VoiceHandle VoiceTransport::play(const std::shared_ptr<Cart>& cart, float gain,
                                 std::int64_t fromFrame) {
    update();
    auto voice = makeVoice(cart, gain, fromFrame);
    if (!voice)
        return {};
    Voice* added = voice.get();
    added->id = ++m_lastVoiceId;
    if (added->stream)
        m_streams.add(added->stream);
    m_entries.push_back({std::move(voice)});
    send(Mixer::Command::Add, added->id, added);
    return VoiceHandle(added->id);
}

void VoiceTransport::pause(VoiceHandle handle) {
    setRunning(handle, false);
}

void VoiceTransport::resume(VoiceHandle handle) {
    setRunning(handle, true);
}

void VoiceTransport::setRunning(VoiceHandle handle, bool running) {
    update();
    if (Entry* voice = find(handle)) {
        voice->running = running;
        if (voice->inMixer)
            send(running ? Mixer::Command::Resume : Mixer::Command::Pause, handle.m_id);
    }
}

VoiceHandle VoiceTransport::release(VoiceHandle handle) {
    update();
    Entry* voice = find(handle);
    if (!voice)
        return {};
    // The callback lets go of the follower with the voice, or of one that took over from
    // it in the instant before.
    if (Entry* follower = entry(std::exchange(voice->follower, 0)))
        letGo(*follower);
    letGo(*voice);
    if (voice->inMixer)
        send(Mixer::Command::Release, handle.m_id);
    return VoiceHandle(voice->successor);
}

bool VoiceTransport::arm(VoiceHandle handle, const std::shared_ptr<Cart>& cart, float gain) {
    disarm(handle);
    Entry* voice = find(handle);
    if (!voice || voice->successor != 0 || voice->ended || !voice->inMixer)
        return false;
    auto follower = makeVoice(cart, gain);
    if (!follower)
        return false;
    Voice* armed = follower.get();
    armed->id = ++m_lastVoiceId;
    if (armed->stream)
        m_streams.add(armed->stream);
    voice->follower = armed->id; // before the entry moves with the others
    m_entries.push_back({std::move(follower)});
    // If the voice has run out meanwhile, the follower starts at once.
    send(Mixer::Command::Arm, handle.m_id, armed);
    return true;
}

void VoiceTransport::disarm(VoiceHandle handle) {
    update();
    Entry* voice = find(handle);
    if (!voice)
        return;
    if (Entry* follower = entry(std::exchange(voice->follower, 0))) {
        letGo(*follower);
        // Also silences the follower if it started before the command arrives.
        send(Mixer::Command::Disarm, handle.m_id);
    }
}

VoiceHandle VoiceTransport::handedOver(VoiceHandle handle) {
    update();
    Entry* voice = find(handle);
    return voice ? VoiceHandle(voice->successor) : VoiceHandle();
}

bool VoiceTransport::hasFollower(VoiceHandle handle) {
    update();
    Entry* voice = find(handle);
    return voice && (voice->follower != 0 || voice->successor != 0);
}

bool VoiceTransport::isRunning(VoiceHandle handle) {
    update();
    Entry* voice = find(handle);
    return voice && voice->running;
}

std::shared_ptr<Cart> VoiceTransport::cartOf(VoiceHandle handle) {
    update();
    Entry* voice = find(handle);
    return voice ? voice->voice->cart : nullptr;
}

int VoiceTransport::voiceCount() {
    update();
    return static_cast<int>(m_entries.size());
}

std::uint64_t VoiceTransport::framesSince(std::uint64_t frame) const {
    const std::uint64_t now = m_mixer.renderedFrames();
    return now > frame ? now - frame : 0;
}

std::int64_t VoiceTransport::consumedFrames(VoiceHandle handle) {
    update();
    Entry* voice = find(handle);
    return voice ? voice->voice->consumed.load(std::memory_order_acquire) : 0;
}

std::int64_t VoiceTransport::heardFrames(VoiceHandle handle) {
    update();
    Entry* found = find(handle);
    if (!found)
        return 0;
    const Voice& voice = *found->voice;
    const std::int64_t consumed = voice.consumed.load(std::memory_order_acquire);
    const auto elapsed =
        static_cast<std::int64_t>(framesSince(voice.lastFrame.load(std::memory_order_acquire)));
    const std::int64_t inFlight = std::max<std::int64_t>(0, m_device.latencyFrames() - elapsed);
    return std::max<std::int64_t>(0, consumed - inFlight);
}

bool VoiceTransport::isHeardToEnd(VoiceHandle handle) {
    update();
    Entry* found = find(handle);
    if (!found)
        return true;
    return found->ended && static_cast<std::int64_t>(framesSince(found->voice->lastFrame.load(
                               std::memory_order_acquire))) >= m_device.latencyFrames();
}

void VoiceTransport::waitUntilReady(int frames) {
    update();
    std::vector<StreamReaders::Need> needs;
    for (const Entry& entry : m_entries) {
        const Voice& voice = *entry.voice;
        if (!voice.stream || !entry.inMixer || !entry.running || entry.ended)
            continue;
        // At least one frame even while the head plays: the decoder has then opened the
        // file, as it has on a real device long before the head runs out.
        const std::int64_t fromRing =
            voice.consumed.load(std::memory_order_acquire) + frames - voice.headFrames;
        needs.push_back({voice.stream.get(),
                         static_cast<std::size_t>(std::clamp<std::int64_t>(fromRing, 1, frames))});
    }
    if (!needs.empty())
        m_streams.waitUntilReadable(needs);
}

VoiceTransport::Stalls VoiceTransport::checkStalls() {
    update();
    Stalls stalls;
    QSet<const Stream*> starving;
    QHash<const Stream*, QString> stalled;
    for (const Entry& entry : m_entries) {
        const Voice& voice = *entry.voice;
        const Stream* stream = voice.stream.get();
        if (!stream || !entry.held || stream->hasEnded())
            continue;
        stalls.streaming = true;
        const bool armed = std::any_of(m_entries.begin(), m_entries.end(),
                                       [&voice](const Entry& e) { return e.follower == voice.id; });
        const bool hungry = !armed && entry.inMixer && entry.running && !entry.ended &&
                            voice.consumed.load(std::memory_order_acquire) >= voice.headFrames &&
                            stream->ring().readableFrames() == 0 && stream->isWaitingOnFile();
        if (!hungry)
            continue;
        starving.insert(stream);
        if (!m_starving.contains(stream))
            continue;
        if (!m_stalled.contains(stream))
            stalls.stalled.push_back(voice.cart->path());
        stalled.insert(stream, voice.cart->path());
    }
    for (auto it = m_stalled.cbegin(); it != m_stalled.cend(); ++it) {
        if (!stalled.contains(it.key()))
            stalls.answered.push_back(it.value());
    }
    m_starving = std::move(starving);
    m_stalled = std::move(stalled);
    return stalls;
}
