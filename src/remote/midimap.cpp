#include "remote/midimap.h"

#include "common/decks.h"

#include <QRegularExpression>

namespace {

// Data bytes that follow a channel status: 1 for program change and channel pressure.
int dataBytesFor(std::uint8_t status) {
    const int type = status & 0xF0;
    return type == 0xC0 || type == 0xD0 ? 1 : 2;
}

} // namespace

void MidiParser::feed(const std::uint8_t* bytes, std::size_t size, std::vector<MidiMessage>& out) {
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t byte = bytes[i];
        if (byte >= 0xF8) // real time: clock, start, stop, sensing may come between any bytes
            continue;
        if (byte & 0x80) {
            const bool endOfSysEx = byte == 0xF7 && m_inSysEx;
            m_inSysEx = false;
            m_have = 0;
            m_skip = 0;
            if (byte < 0xF0) {
                m_running = byte;
                continue;
            }
            // System common ends running status.
            m_running = 0;
            switch (byte) {
            case 0xF0:
                m_inSysEx = true;
                ++m_sysEx;
                break;
            case 0xF1: // time code quarter frame
            case 0xF3: // song select
                m_skip = 1;
                break;
            case 0xF2: // song position
                m_skip = 2;
                break;
            case 0xF6: // tune request
                break;
            case 0xF7:
                if (!endOfSysEx)
                    ++m_garbage;
                break;
            default: // 0xF4, 0xF5 (undefined) and an end of SysEx without its start
                ++m_garbage;
                break;
            }
            continue;
        }
        if (m_inSysEx)
            continue;
        if (m_skip > 0) {
            --m_skip;
            continue;
        }
        if (m_running == 0) {
            ++m_garbage;
            continue;
        }
        m_data[m_have++] = byte;
        if (m_have == dataBytesFor(m_running)) {
            out.push_back({m_running, m_data[0], m_have == 2 ? m_data[1] : std::uint8_t(0)});
            m_have = 0;
        }
    }
}

std::optional<MidiTrigger> MidiTrigger::Parse(const QString& text) {
    const QString line = text.simplified().toLower();
    if (line == QLatin1String("off") || line == QLatin1String("none"))
        return MidiTrigger{Note, -1, 0};
    static const QRegularExpression pattern(
        QStringLiteral("^(note|cc) (\\d{1,3})(?: (?:ch|channel) (\\d{1,2}))?$"));
    const QRegularExpressionMatch match = pattern.match(line);
    if (!match.hasMatch())
        return std::nullopt;
    MidiTrigger trigger;
    trigger.type = match.captured(1) == QLatin1String("cc") ? Cc : Note;
    trigger.number = match.captured(2).toInt();
    trigger.channel = match.captured(3).isEmpty() ? 0 : match.captured(3).toInt();
    if (trigger.number > 127 || (!match.captured(3).isEmpty() && trigger.channel < 1) ||
        trigger.channel > 16)
        return std::nullopt;
    return trigger;
}

MidiMap::MidiMap() {
    for (int deck = 1; deck <= kDeckCount; ++deck)
        m_bindings.push_back({{DeckAction::Fire, deck}, {MidiTrigger::Note, 35 + deck, 0}});
    m_bindings.push_back({{DeckAction::Stop, 0}, {MidiTrigger::Note, 46, 0}});
}

MidiMap MidiMap::FromLines(const QList<QPair<QString, QString>>& lines, QStringList* complaints) {
    MidiMap map;
    const auto complain = [complaints](const QString& key, const QString& value,
                                       const QString& kept) {
        if (complaints != nullptr)
            *complaints
                << QStringLiteral("[midi] %1=%2 is not understood; using %3").arg(key, value, kept);
    };
    static const QRegularExpression actionKey(
        QStringLiteral("^(fire|empty|load)(\\d{1,2})$|^(stop|search)$"),
        QRegularExpression::CaseInsensitiveOption);
    for (const auto& [key, value] : lines) {
        const QString name = key.toLower();
        if (name.startsWith(QLatin1String("light"))) {
            bool ok = false;
            const int number = value.trimmed().toInt(&ok);
            const QString what = name.mid(5);
            if (what == QLatin1String("channel")) {
                if (ok && number >= 1 && number <= 16)
                    map.m_lights.channel = number;
                else
                    complain(key, value, QString::number(map.m_lights.channel));
                continue;
            }
            static const QStringList states{QStringLiteral("empty"), QStringLiteral("loaded"),
                                            QStringLiteral("playing"), QStringLiteral("locked")};
            const qsizetype state = states.indexOf(what);
            if (state < 0)
                complain(key, value, QStringLiteral("nothing"));
            else if (ok && number >= 0 && number <= 127)
                map.m_lights.velocity[std::size_t(state)] = number;
            else
                complain(key, value, QString::number(map.m_lights.velocity[std::size_t(state)]));
            continue;
        }

        const QRegularExpressionMatch match = actionKey.match(name);
        DeckAction action;
        if (match.hasMatch() && !match.captured(1).isEmpty()) {
            const QString verb = match.captured(1);
            action.kind = verb == QLatin1String("fire")    ? DeckAction::Fire
                          : verb == QLatin1String("empty") ? DeckAction::Empty
                                                           : DeckAction::Load;
            action.deck = match.captured(2).toInt();
        } else if (match.hasMatch()) {
            action.kind =
                match.captured(3) == QLatin1String("stop") ? DeckAction::Stop : DeckAction::Search;
        }
        if (action.kind == DeckAction::None ||
            (action.deck != 0 && (action.deck < 1 || action.deck > kDeckCount))) {
            complain(key, value, QStringLiteral("nothing"));
            continue;
        }
        const std::optional<MidiTrigger> trigger = MidiTrigger::Parse(value);
        const MidiTrigger kept = map.trigger(action);
        if (!trigger) {
            complain(key, value,
                     kept.number < 0 ? QStringLiteral("off")
                                     : QStringLiteral("%1 %2")
                                           .arg(kept.type == MidiTrigger::Cc ? "cc" : "note")
                                           .arg(kept.number));
            continue;
        }
        std::erase_if(map.m_bindings, [&](const Binding& b) { return b.action == action; });
        if (trigger->number >= 0)
            map.m_bindings.push_back({action, *trigger});
    }
    return map;
}

MidiTrigger MidiMap::trigger(DeckAction action) const {
    for (const Binding& binding : m_bindings)
        if (binding.action == action)
            return binding.trigger;
    return {MidiTrigger::Note, -1, 0};
}

DeckAction MidiMap::actionFor(const MidiMessage& message) {
    const int type = message.status & 0xF0;
    const int channel = (message.status & 0x0F) + 1;
    MidiTrigger::Type kind;
    if (type == 0x90 && message.data2 > 0) {
        kind = MidiTrigger::Note;
    } else if (type == 0xB0) {
        std::uint8_t& last = m_ccValue[std::size_t((channel - 1) * 128 + (message.data1 & 0x7F))];
        const bool rose = last < 64 && message.data2 >= 64;
        last = message.data2;
        if (!rose)
            return {};
        kind = MidiTrigger::Cc;
    } else {
        return {};
    }
    for (const Binding& binding : m_bindings) {
        const MidiTrigger& t = binding.trigger;
        if (t.type == kind && t.number == message.data1 && (t.channel == 0 || t.channel == channel))
            return binding.action;
    }
    return {};
}

std::optional<MidiMessage> MidiMap::light(int deck, PadState state) const {
    const MidiTrigger fire = trigger({DeckAction::Fire, deck});
    if (fire.number < 0)
        return std::nullopt;
    const int channel = (fire.channel != 0 ? fire.channel : m_lights.channel) - 1;
    const std::uint8_t type = fire.type == MidiTrigger::Cc ? 0xB0 : 0x90;
    return MidiMessage{std::uint8_t(type | channel), std::uint8_t(fire.number),
                       std::uint8_t(m_lights.velocity[std::size_t(state)])};
}
