#include "remote/midicontrol.h"

#include "common/decks.h"
#include "remote/deckstatus.h"

#include <QSocketNotifier>
#include <cstdio>
#include <rtmidi/RtMidi.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

constexpr int kReplugInterval = 2000;     // ms between looks for the Connect= device
constexpr std::size_t kBytesPerPass = 48; // sixteen notes
const std::string kPortName = "Airloom";

void reportError(RtMidiError::Type, const std::string& text, void*) {
    std::fprintf(stderr, "MIDI: %s\n", text.c_str());
}

// The first port whose name holds part, other than our own; -1 for none.
template <typename Port> int findPort(Port& port, const QString& part, const QString& own) {
    const unsigned int count = port.getPortCount();
    for (unsigned int i = 0; i < count; ++i) {
        const QString name = QString::fromStdString(port.getPortName(i));
        if (name.contains(part, Qt::CaseInsensitive) && !name.startsWith(own))
            return int(i);
    }
    return -1;
}

// Opens port on the device port index (name), or as a port of our own when index is -1,
// unless it is so already; true when it has just been connected to the device.
template <typename Port>
bool reconnect(Port& port, int index, const QString& name, QString& connected, const char* what) {
    if (name == connected)
        return false;
    port.closePort();
    if (index >= 0)
        port.openPort(unsigned(index), kPortName);
    else
        port.openVirtualPort(kPortName);
    connected = name;
    if (index >= 0)
        std::fprintf(stderr, "MIDI: %s connected to %s\n", what, qUtf8Printable(name));
    return index >= 0;
}

} // namespace

bool MidiByteRing::push(const std::uint8_t* bytes, std::size_t size) {
    const std::size_t head = m_head.load(std::memory_order_relaxed);
    const std::size_t tail = m_tail.load(std::memory_order_acquire);
    if (kSize - (head - tail) < size) {
        m_dropped.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    for (std::size_t i = 0; i < size; ++i)
        m_bytes[(head + i) % kSize] = bytes[i];
    m_head.store(head + size, std::memory_order_release);
    return true;
}

std::size_t MidiByteRing::pop(std::uint8_t* out, std::size_t size) {
    const std::size_t tail = m_tail.load(std::memory_order_relaxed);
    const std::size_t head = m_head.load(std::memory_order_acquire);
    const std::size_t taken = std::min(size, head - tail);
    for (std::size_t i = 0; i < taken; ++i)
        out[i] = m_bytes[(tail + i) % kSize];
    m_tail.store(tail + taken, std::memory_order_release);
    return taken;
}

MidiControl::MidiControl(Options options, FunctionKeys& keys, const DeckWatcher& watcher,
                         QObject* parent)
    : QObject(parent), m_options(std::move(options)), m_keys(keys), m_watcher(watcher) {
    connect(&watcher, &DeckWatcher::statusChanged, this, &MidiControl::sendLight);
    const RtMidi::Api api = m_options.jack ? RtMidi::UNIX_JACK : RtMidi::LINUX_ALSA;
    const char* apiName = m_options.jack ? "JACK" : "ALSA";
    try {
        auto in = std::make_unique<RtMidiIn>(api, "Airloom in");
        auto out = std::make_unique<RtMidiOut>(api, "Airloom out");
        in->openVirtualPort(kPortName);
        out->openVirtualPort(kPortName);
        m_wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        m_notifier = std::make_unique<QSocketNotifier>(m_wake, QSocketNotifier::Read);
        connect(m_notifier.get(), &QSocketNotifier::activated, this, &MidiControl::drain);
        in->setCallback(&MidiControl::received, this);
        in->setErrorCallback(&reportError, nullptr);
        out->setErrorCallback(&reportError, nullptr);
        m_in = std::move(in);
        m_out = std::move(out);
    } catch (const RtMidiError& error) {
        std::fprintf(stderr, "MIDI: cannot open the %s ports \"Airloom\": %s; MIDI stays off\n",
                     apiName, error.what());
        return;
    }
    sendAllLights();
    if (!m_options.connect.isEmpty()) {
        m_replug.setInterval(kReplugInterval);
        connect(&m_replug, &QTimer::timeout, this, &MidiControl::checkDevice);
        m_replug.start();
        checkDevice();
    }
}

MidiControl::~MidiControl() {
    // The input's thread ends with its port, before the ring and the eventfd go.
    m_in.reset();
    m_out.reset();
    m_notifier.reset();
    if (m_wake >= 0)
        close(m_wake);
}

void MidiControl::received(double, std::vector<unsigned char>* message, void* self) {
    auto* control = static_cast<MidiControl*>(self);
    control->m_ring.push(message->data(), message->size());
    const std::uint64_t one = 1;
    (void)!write(control->m_wake, &one, sizeof one);
}

void MidiControl::drain() {
    std::uint64_t count = 0;
    (void)!read(m_wake, &count, sizeof count);
    // A few messages at a time: the keys and timers get their turn between passes however
    // fast a device sends.
    std::array<std::uint8_t, kBytesPerPass> bytes;
    const std::size_t size = m_ring.pop(bytes.data(), bytes.size());
    handleBytes(bytes.data(), size);
    if (size == bytes.size())
        QMetaObject::invokeMethod(this, &MidiControl::drain, Qt::QueuedConnection);
    const std::uint64_t dropped = m_ring.dropped();
    for (; m_droppedTold < dropped; ++m_droppedTold)
        m_warnings.note(QStringLiteral("message beyond a full buffer (a flood)"));
}

void MidiControl::handleBytes(const std::uint8_t* bytes, std::size_t size) {
    m_messages.clear();
    m_parser.feed(bytes, size, m_messages);
    for (; m_sysExTold < m_parser.sysExCount(); ++m_sysExTold)
        m_warnings.note(QStringLiteral("SysEx message"));
    for (; m_garbageTold < m_parser.garbageCount(); ++m_garbageTold)
        m_warnings.note(QStringLiteral("byte outside any message"));
    for (const MidiMessage& message : m_messages)
        PerformDeckAction(m_keys, m_options.map.actionFor(message));
}

void MidiControl::sendLight(int deck) {
    if (const std::optional<MidiMessage> light =
            m_options.map.light(deck, m_watcher.status(deck).pad))
        send(*light);
}

void MidiControl::sendAllLights() {
    for (int deck = 1; deck <= kDeckCount; ++deck)
        sendLight(deck);
}

void MidiControl::send(const MidiMessage& message) {
    if (m_record != nullptr)
        m_record->push_back(message);
    if (!m_out)
        return;
    const std::uint8_t bytes[3] = {message.status, message.data1, message.data2};
    const bool oneByte = (message.status & 0xF0) == 0xC0 || (message.status & 0xF0) == 0xD0;
    m_out->sendMessage(bytes, oneByte ? 2 : 3);
}

void MidiControl::checkDevice() {
    const QString& part = m_options.connect;
    // Under JACK our own ports are listed too, as "Airloom in:Airloom" and "Airloom out:…".
    const int input = findPort(*m_in, part, QStringLiteral("Airloom "));
    const int output = findPort(*m_out, part, QStringLiteral("Airloom "));
    const QString inName = input < 0 ? QString() : QString::fromStdString(m_in->getPortName(input));
    const QString outName =
        output < 0 ? QString() : QString::fromStdString(m_out->getPortName(output));
    reconnect(*m_in, input, inName, m_inDevice, "input");
    if (reconnect(*m_out, output, outName, m_outDevice, "output"))
        sendAllLights();
}
