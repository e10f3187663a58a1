#pragma once

#include "config/profilefile.h"

#include <QString>
#include <optional>

// The station's options beyond the classic keys, read once at start-up from Vidav.ini with
// the usual reading rules. A missing or unreadable value means the option's default.
//
//   [log]    Enabled=        the as-run log; on unless 0, no, off or false
//   [global] EndWarning=     seconds of the end-of-cart warning; 0 (off) by default
//   [audio]  LoudnessTarget= LUFS for loudness levelling, -70 to 0; empty (off) by default
//   [audio]  Device=, Period=, Periods=  the output, as written (the output checks them)
//
// The as-run log and the loudness cache live in the folder of Vidav.ini. A value that is
// given but cannot be used is named in problems, with what is used instead.
struct ExtraSettings {
    static constexpr double kMinLoudnessTarget = -70.0;
    static constexpr double kMaxLoudnessTarget = 0.0;

    bool logEnabled = true;
    int endWarningSeconds = 0;
    std::optional<double> loudnessTarget;
    QString outputDevice;      // empty: the default output
    QString outputPeriod;      // empty: the default period
    QString outputPeriods;     // empty: the fewest periods the device opens with
    QString logFolder;         // <settings folder>/log
    QString loudnessCacheFile; // <settings folder>/dtb/loudness.db
    QString problems;          // a line for each value not used, for stderr

    static ExtraSettings Read(const ProfileFile& file);
};
