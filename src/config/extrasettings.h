#pragma once

#include "config/profilefile.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <optional>

// The station's options beyond the classic keys, read once at start-up from Vidav.ini with
// the usual reading rules. A missing or unreadable value means the option's default.
//
//   [log]    Enabled=        the as-run log; on unless 0, no, off or false
//   [global] EndWarning=     seconds of the end-of-cart warning; 0 (off) by default
//   [audio]  LoudnessTarget= LUFS for loudness levelling, -70 to 0; empty (off) by default
//   [audio]  Device=, Period=, Periods=  the output, as written (the output checks them)
//   [audio]  PreviewDevice=  the pre-listen output, named as Device=; empty (off) by default
//
//   [nowplaying] Enabled=    nowplaying.json beside Vidav.ini; off by default
//   [nowplaying] Osc=        host:port that is sent the cart on air too; empty (none) by default
//   [remote] OscPort=        UDP port of the OSC server; empty (off) by default
//   [remote] OscListen=      the address it listens on; 127.0.0.1 by default
//   [remote] OscAllow=       hosts whose messages are obeyed, comma separated; 127.0.0.1
//   [midi]   Enabled=        the MIDI ports "Airloom"; off by default
//   [midi]   Api=            alsa (the default) or jack
//   [midi]   Connect=        part of a device's port name to connect to; empty (none)
//   [midi]   Fire1=... Stop=, Light...=  the mapping, as written (the MIDI side parses it)
//
// The as-run log, the loudness cache and nowplaying.json live in the folder of Vidav.ini. A
// value that is given but cannot be used is named on stderr (the [audio], [global] and [log]
// values through problems), with what is used instead.
struct ExtraSettings {
    static constexpr double kMinLoudnessTarget = -70.0;
    static constexpr double kMaxLoudnessTarget = 0.0;

    bool logEnabled = true;
    int endWarningSeconds = 0;
    std::optional<double> loudnessTarget;
    QString outputDevice;      // empty: the default output
    QString outputPeriod;      // empty: the default period
    QString outputPeriods;     // empty: the fewest periods the device opens with
    QString previewDevice;     // empty: no pre-listen
    QString logFolder;         // <settings folder>/log
    QString loudnessCacheFile; // <settings folder>/dtb/loudness.db
    QString problems;          // a line for each value not used, for stderr

    // Studio control: off unless switched on.
    bool nowPlayingEnabled = false;
    QString nowPlayingFile; // <settings folder>/nowplaying.json
    QString nowPlayingOscHost;
    int nowPlayingOscPort = 0; // 0: none
    int oscPort = 0;           // 0: no OSC server
    QString oscListen = QStringLiteral("127.0.0.1");
    QStringList oscAllow{QStringLiteral("127.0.0.1")};
    bool midiEnabled = false;
    bool midiJack = false; // Api=jack; ALSA's sequencer otherwise
    QString midiConnect;
    QList<QPair<QString, QString>> midiLines; // the mapping keys present, as written
    QString settingsPath;                     // Vidav.ini itself (the category folders)

    static ExtraSettings Read(const ProfileFile& file);
    // The [nowplaying], [remote] and [midi] keys.
    static void ReadStudioControl(const ProfileFile& file, ExtraSettings& extras);
    // The keys of [midi] that map messages and light pads, in the order they are read.
    static QStringList MidiMappingKeys();
};
