// Fuzz target for the [midi] mapping lines and the MIDI byte parser. The input's lines up to
// an empty line are "key=value" mapping lines; the rest is a MIDI byte stream run through the
// map. Any input gives a map and actions, never a crash, and never a deck out of 1..10.
#include "remote/midimap.h"

#include <QByteArray>
#include <QList>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype split = input.indexOf("\n\n");
    const QByteArray text = split < 0 ? input : input.left(split);
    QList<QPair<QString, QString>> lines;
    for (const QByteArray& line : text.split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (equals > 0)
            lines.append(
                {QString::fromUtf8(line.left(equals)), QString::fromUtf8(line.mid(equals + 1))});
    }
    QStringList complaints;
    MidiMap map = MidiMap::FromLines(lines, &complaints);
    if (split < 0)
        return 0;
    const QByteArray bytes = input.mid(split + 2);
    MidiParser parser;
    std::vector<MidiMessage> messages;
    parser.feed(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()),
                messages);
    for (const MidiMessage& message : messages) {
        const DeckAction action = map.actionFor(message);
        if (action.kind != DeckAction::None && action.kind != DeckAction::Stop &&
            action.kind != DeckAction::Search && (action.deck < 1 || action.deck > 10))
            std::abort();
    }
    for (int deck = 1; deck <= 10; ++deck)
        (void)map.light(deck, PadState::Playing);
    return 0;
}
