#include "config/extrasettings.h"
#include "config/profilefile.h"
#include "remote/midimap.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

std::vector<MidiMessage> parse(MidiParser& parser, std::vector<std::uint8_t> bytes) {
    std::vector<MidiMessage> out;
    parser.feed(bytes.data(), bytes.size(), out);
    return out;
}

DeckAction noteOn(MidiMap& map, int note, int velocity = 100, int channel = 1) {
    return map.actionFor(
        {std::uint8_t(0x90 | (channel - 1)), std::uint8_t(note), std::uint8_t(velocity)});
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
    EXPECT_EQ(noteOn(map, 45, 1, 16), (DeckAction{DeckAction::Fire, 10}));
    EXPECT_EQ(map.actionFor({0x80, 36, 64}), DeckAction{});
    EXPECT_EQ(noteOn(map, 47), DeckAction{});
}

TEST(MidiMap, LinesChangeTheMappingAndBadLinesKeepTheDefault) {
    QStringList complaints;
    MidiMap map = MidiMap::FromLines({{"Fire1", "note 60 ch 2"},
                                      {"stop", "CC 64"},
                                      {"Empty3", "note 70"},
                                      {"Load4", "cc 20 channel 16"},
                                      {"Search", "note 80"},
                                      {"Fire2", "off"},
                                      {"Fire3", "note 200"},
                                      {"Fire11", "note 1"},
                                      {"Fire4", "key 5"},
                                      {"LightLoaded", "300"},
                                      {"LightPlaying", "21"},
                                      {"LightChannel", "10"}},
                                     &complaints);
    EXPECT_EQ(noteOn(map, 60, 100, 2), (DeckAction{DeckAction::Fire, 1}));
    EXPECT_EQ(noteOn(map, 60, 100, 1), DeckAction{});
    EXPECT_EQ(noteOn(map, 36), DeckAction{}); // moved away
    EXPECT_EQ(noteOn(map, 37), DeckAction{}); // off
    EXPECT_EQ(noteOn(map, 38), (DeckAction{DeckAction::Fire, 3}));
    EXPECT_EQ(noteOn(map, 39), (DeckAction{DeckAction::Fire, 4}));
    EXPECT_EQ(noteOn(map, 46), DeckAction{});
    EXPECT_EQ(noteOn(map, 70), (DeckAction{DeckAction::Empty, 3}));
    EXPECT_EQ(noteOn(map, 80), (DeckAction{DeckAction::Search, 0}));
    // A controller acts when it rises to 64 or more, once, however far it goes.
    EXPECT_EQ(map.actionFor({0xB5, 64, 127}), (DeckAction{DeckAction::Stop, 0}));
    EXPECT_EQ(map.actionFor({0xB5, 64, 100}), DeckAction{});
    EXPECT_EQ(map.actionFor({0xB5, 64, 0}), DeckAction{});
    EXPECT_EQ(map.actionFor({0xB5, 64, 64}), (DeckAction{DeckAction::Stop, 0}));
    EXPECT_EQ(map.actionFor({0xBF, 20, 127}), (DeckAction{DeckAction::Load, 4}));

    EXPECT_EQ(complaints, (QStringList{
                              "[midi] Fire3=note 200 is not understood; using note 38",
                              "[midi] Fire11=note 1 is not understood; using nothing",
                              "[midi] Fire4=key 5 is not understood; using note 39",
                              "[midi] LightLoaded=300 is not understood; using 5",
                          }));
    EXPECT_EQ(map.light(1, PadState::Playing), (MidiMessage{0x91, 60, 21})); // its own channel
    EXPECT_EQ(map.light(3, PadState::Loaded), (MidiMessage{0x99, 38, 5}));
    EXPECT_FALSE(map.light(2, PadState::Loaded));
}

TEST(StudioControlSettings, MistypedOptionsAreNamedWithWhatIsUsed) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Vidav.ini");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[nowplaying]\nEnabled=maybe\nOsc=encoder\n[remote]\nOscPort=90000\n"
               "OscAllow=studio2, 10.0.0.7\n[midi]\nEnabled=yes\nApi=coreaudio\nFire1=note 60\n");
    file.close();
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
