#include "audio/fixtures.h"
#include "config/extrasettings.h"
#include "config/profilefile.h"
#include "remote/midimap.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

std::vector<MidiMessage> parse(MidiParser& parser, std::vector<std::uint8_t> bytes) {
    std::vector<MidiMessage> out;
    parser.feed(bytes.data(), bytes.size(), out);
    return out;
}

// The actions a MIDI byte stream gives in turn, as "Fire1 - Stop".
QString actions(MidiMap& map, std::vector<std::uint8_t> bytes) {
    const char* kinds[] = {"-", "Fire", "Empty", "Load", "Stop", "Search"};
    QStringList out;
    MidiParser parser;
    for (const MidiMessage& message : parse(parser, std::move(bytes))) {
        const DeckAction action = map.actionFor(message);
        out << kinds[action.kind] + (action.deck ? QString::number(action.deck) : "");
    }
    return out.join(' ');
}

} // namespace

TEST(MidiParser, RunningStatusRealTimeSysExAndGarbage) {
    MidiParser parser;
    // Running status: the second note reuses 0x90; a clock byte in the middle changes nothing;
    // a program change takes one data byte.
    EXPECT_EQ(parse(parser, {0x90, 36, 100, 37, 0xF8, 0, 0xC1, 5}),
              (std::vector<MidiMessage>{{0x90, 36, 100}, {0x90, 37, 0}, {0xC1, 5, 0}}));
    // A message split across two deliveries still comes out whole.
    EXPECT_TRUE(parse(parser, {0x91, 40}).empty());
    EXPECT_EQ(parse(parser, {90}), (std::vector<MidiMessage>{{0x91, 40, 90}}));
    // SysEx is skipped to its end, and ends running status; stray bytes count as garbage.
    EXPECT_TRUE(parse(parser, {0xF0, 0x7E, 0x01, 0xF7, 36, 100, 0xF7, 0xF4}).empty());
    EXPECT_EQ(parser.sysExCount(), 1u);
    EXPECT_EQ(parser.garbageCount(), 4u); // 36, 100, the lone 0xF7 and 0xF4
    // A status byte ends an unterminated SysEx, and song position's data is not a note.
    EXPECT_EQ(parse(parser, {0xF0, 1, 2, 0xF2, 36, 100, 0x80, 36, 0}),
              (std::vector<MidiMessage>{{0x80, 36, 0}}));
}

// The defaults, on any channel (the pads' lights and the stop note act in the remote test).
TEST(MidiMap, DefaultsFireDecksOnAnyChannel) {
    MidiMap map;
    EXPECT_EQ(actions(map, {0x9F, 45, 1, 0x80, 36, 64, 0x90, 47, 100}), "Fire10 - -");
}

TEST(MidiMap, LinesChangeTheMappingAndBadLinesKeepTheDefault) {
    QList<QPair<QString, QString>> lines;
    for (const QString& line :
         QString("Fire1=note 60 ch 2|stop=CC 64|Empty3=note 70|Load4=cc 20 channel 16|"
                 "Search=note 80|Fire2=off|Fire3=note 200|Fire11=note 1|Fire4=key 5|"
                 "LightLoaded=300|LightPlaying=21|LightChannel=10")
             .split('|'))
        lines.append({line.section('=', 0, 0), line.section('=', 1)});
    QStringList complaints;
    MidiMap map = MidiMap::FromLines(lines, &complaints);
    // Fire1 on channel 2 only; notes 36 (moved away), 37 (off) and 46 (the stop, now a
    // controller) do nothing.
    EXPECT_EQ(actions(map, {0x91, 60,  100, 0x90, 60, 100, 36, 100, 37, 100,
                            38,   100, 39,  100,  46, 100, 70, 100, 80, 100}),
              "Fire1 - - - Fire3 Fire4 - Empty3 Search");
    // A controller acts when it rises to 64 or more, once, however far it goes.
    EXPECT_EQ(actions(map, {0xB5, 64, 127, 64, 100, 64, 0, 64, 64, 0xBF, 20, 127}),
              "Stop - - Stop Load4");
    EXPECT_EQ(complaints.join('\n'), "[midi] Fire3=note 200 is not understood; using note 38\n"
                                     "[midi] Fire11=note 1 is not understood; using nothing\n"
                                     "[midi] Fire4=key 5 is not understood; using note 39\n"
                                     "[midi] LightLoaded=300 is not understood; using 5");
    EXPECT_EQ(map.light(1, PadState::Playing), (MidiMessage{0x91, 60, 21})); // its own channel
    EXPECT_EQ(map.light(3, PadState::Loaded), (MidiMessage{0x99, 38, 5}));
    EXPECT_FALSE(map.light(2, PadState::Loaded));
}

TEST(StudioControlSettings, MistypedOptionsAreNamedWithWhatIsUsed) {
    QTemporaryDir dir;
    const QString path = Fixtures::file(
        dir.path(), "Vidav.ini",
        "[nowplaying]\nEnabled=maybe\nOsc=encoder\n[remote]\nOscPort=90000\n"
        "OscAllow=studio2, 10.0.0.7\n[midi]\nEnabled=yes\nApi=coreaudio\nFire1=note 60\n");
    testing::internal::CaptureStderr();
    const ExtraSettings settings = ExtraSettings::Read(ProfileFile(path));
    const QString told = QString::fromStdString(testing::internal::GetCapturedStderr());
    EXPECT_EQ(std::tuple(settings.nowPlayingEnabled, settings.nowPlayingOscPort, settings.oscPort,
                         settings.midiEnabled, settings.midiJack),
              std::tuple(false, 0, 0, true, false));
    EXPECT_EQ(settings.oscAllow, (QStringList{"studio2", "10.0.0.7"}));
    EXPECT_EQ(settings.midiLines, (QList<QPair<QString, QString>>{{"Fire1", "note 60"}}));
    for (const char* line : {"[nowplaying] Enabled=maybe is not understood; using 0 (off)",
                             "[nowplaying] Osc=encoder is not understood; using none",
                             "[remote] OscPort=90000 is not understood; using no OSC server",
                             "[midi] Api=coreaudio is not understood; using alsa"})
        EXPECT_TRUE(told.contains(line)) << line << "\n" << told.toStdString();
}
