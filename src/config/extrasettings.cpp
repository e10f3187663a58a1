#include "config/extrasettings.h"

#include <QDir>
#include <QFileInfo>

namespace {
constexpr int kCapacity = 80;
}

ExtraSettings ExtraSettings::Read(const ProfileFile& file) {
    ExtraSettings extras;
    const auto read = [&file](const char* section, const char* key) {
        return file.Read(QLatin1String(section), QLatin1String(key), QString(), kCapacity);
    };
    const auto unused = [&extras](const char* section, const char* key, const QString& value,
                                  const char* rule, const char* instead) {
        extras.problems += QStringLiteral("[%1] %2 in the settings file: %3, not '%4'; %5.\n")
                               .arg(QLatin1String(section), QLatin1String(key), QLatin1String(rule),
                                    value, QLatin1String(instead));
    };

    const QString enabled = read("log", "Enabled");
    const QString word = enabled.trimmed().toLower();
    extras.logEnabled = !(word == QLatin1String("0") || word == QLatin1String("no") ||
                          word == QLatin1String("off") || word == QLatin1String("false"));
    if (!word.isEmpty() && extras.logEnabled && word != QLatin1String("1") &&
        word != QLatin1String("yes") && word != QLatin1String("on") &&
        word != QLatin1String("true"))
        unused("log", "Enabled", enabled,
               "the log is switched by 1, yes, on or true and 0, no, "
               "off or false",
               "the as-run log is on");

    bool ok = false;
    const QString warning = read("global", "EndWarning");
    const int seconds = warning.toInt(&ok);
    extras.endWarningSeconds = ok && seconds > 0 ? seconds : 0;
    if (!warning.isEmpty() && !(ok && seconds >= 0))
        unused("global", "EndWarning", warning,
               "the warning is a whole number of seconds, 0 for "
               "none",
               "the end-of-cart warning is off");

    const QString loudness = read("audio", "LoudnessTarget");
    // toDouble takes "nan" and "inf", which no comparison passes.
    const double target = loudness.toDouble(&ok);
    if (ok && target >= kMinLoudnessTarget && target <= kMaxLoudnessTarget)
        extras.loudnessTarget = target;
    else if (!loudness.isEmpty())
        unused("audio", "LoudnessTarget", loudness,
               "the target is a loudness from -70 to 0 LUFS, "
               "a number alone",
               "levelling is off");

    const auto audio = [&](const char* key) {
        return file.Read(QStringLiteral("audio"), QLatin1String(key), QString(), 256);
    };
    extras.outputDevice = audio("Device");
    extras.outputPeriod = audio("Period");
    extras.outputPeriods = audio("Periods");

    const QDir folder = QFileInfo(file.filePath()).absoluteDir();
    extras.logFolder = folder.filePath(QStringLiteral("log"));
    extras.loudnessCacheFile = folder.filePath(QStringLiteral("dtb/loudness.db"));
    return extras;
}
