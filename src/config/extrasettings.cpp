#include "config/extrasettings.h"

#include <QDir>
#include <QFileInfo>
#include <cstdio>

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
    extras.previewDevice = audio("PreviewDevice").trimmed();

    const QDir folder = QFileInfo(file.filePath()).absoluteDir();
    extras.logFolder = folder.filePath(QStringLiteral("log"));
    extras.loudnessCacheFile = folder.filePath(QStringLiteral("dtb/loudness.db"));
    ReadStudioControl(file, extras);
    return extras;
}

namespace {

void warnOption(const QString& section, const QString& key, const QString& value,
                const QString& instead) {
    std::fprintf(stderr, "Vidav.ini [%s] %s=%s is not understood; using %s\n",
                 qUtf8Printable(section), qUtf8Printable(key), qUtf8Printable(value),
                 qUtf8Printable(instead));
}

// A switch that is off unless 1, yes, on or true; anything else but the off words is named.
bool readSwitch(const ProfileFile& file, const QString& section, const QString& key) {
    const QString value = file.Read(section, key, QString(), kCapacity);
    const QString word = value.toLower();
    if (word == QLatin1String("1") || word == QLatin1String("yes") || word == QLatin1String("on") ||
        word == QLatin1String("true"))
        return true;
    if (!word.isEmpty() && word != QLatin1String("0") && word != QLatin1String("no") &&
        word != QLatin1String("off") && word != QLatin1String("false"))
        warnOption(section, key, value, QStringLiteral("0 (off)"));
    return false;
}

int parsePort(const QString& text) {
    bool ok = false;
    const int port = text.trimmed().toInt(&ok);
    return ok && port > 0 && port <= 65535 ? port : 0;
}

} // namespace

QStringList ExtraSettings::MidiMappingKeys() {
    QStringList keys;
    for (const char* action : {"Fire", "Empty", "Load"})
        for (int deck = 1; deck <= 10; ++deck)
            keys << QStringLiteral("%1%2").arg(QLatin1String(action)).arg(deck);
    keys << QStringLiteral("Stop") << QStringLiteral("Search") << QStringLiteral("LightEmpty")
         << QStringLiteral("LightLoaded") << QStringLiteral("LightPlaying")
         << QStringLiteral("LightLocked") << QStringLiteral("LightChannel");
    return keys;
}

void ExtraSettings::ReadStudioControl(const ProfileFile& file, ExtraSettings& extras) {
    const QString nowPlaying = QStringLiteral("nowplaying");
    const QString remote = QStringLiteral("remote");
    const QString midi = QStringLiteral("midi");
    const auto read = [&file](const QString& section, const char* key) {
        return file.Read(section, QLatin1String(key), QString(), 256);
    };
    extras.settingsPath = file.filePath();
    extras.nowPlayingFile =
        QFileInfo(file.filePath()).absoluteDir().filePath(QStringLiteral("nowplaying.json"));
    extras.nowPlayingEnabled = readSwitch(file, nowPlaying, QStringLiteral("Enabled"));
    const QString target = read(nowPlaying, "Osc");
    if (!target.isEmpty()) {
        const qsizetype colon = target.lastIndexOf(QLatin1Char(':'));
        const int port = colon > 0 ? parsePort(target.mid(colon + 1)) : 0;
        if (port == 0) {
            warnOption(nowPlaying, QStringLiteral("Osc"), target, QStringLiteral("none"));
        } else {
            extras.nowPlayingOscHost = target.left(colon);
            extras.nowPlayingOscPort = port;
        }
    }

    const QString port = read(remote, "OscPort");
    extras.oscPort = parsePort(port);
    if (!port.isEmpty() && extras.oscPort == 0)
        warnOption(remote, QStringLiteral("OscPort"), port, QStringLiteral("no OSC server"));
    const QString listen = read(remote, "OscListen");
    if (!listen.isEmpty())
        extras.oscListen = listen;
    const QString allow = read(remote, "OscAllow");
    if (!allow.isEmpty()) {
        QStringList hosts;
        for (const QString& host : allow.split(QLatin1Char(','), Qt::SkipEmptyParts))
            if (!host.trimmed().isEmpty())
                hosts << host.trimmed();
        if (hosts.isEmpty())
            warnOption(remote, QStringLiteral("OscAllow"), allow, QStringLiteral("127.0.0.1"));
        else
            extras.oscAllow = hosts;
    }

    extras.midiEnabled = readSwitch(file, midi, QStringLiteral("Enabled"));
    const QString api = read(midi, "Api");
    extras.midiJack = api.compare(QLatin1String("jack"), Qt::CaseInsensitive) == 0;
    if (!api.isEmpty() && !extras.midiJack &&
        api.compare(QLatin1String("alsa"), Qt::CaseInsensitive) != 0)
        warnOption(midi, QStringLiteral("Api"), api, QStringLiteral("alsa"));
    extras.midiConnect = read(midi, "Connect");
    if (!extras.midiEnabled)
        return;
    for (const QString& key : MidiMappingKeys()) {
        const QString value = file.Read(midi, key, QString(), 256);
        if (!value.isEmpty())
            extras.midiLines.append({key, value});
    }
}
