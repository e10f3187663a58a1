#include "config/extrasettings.h"

#include <QDir>
#include <QFileInfo>

namespace {
constexpr int kCapacity = 80;
}

ExtraSettings ExtraSettings::Read(const ProfileFile& file) {
    ExtraSettings extras;
    const QString enabled =
        file.Read(QStringLiteral("log"), QStringLiteral("Enabled"), QString(), kCapacity).toLower();
    extras.logEnabled = !(enabled == QLatin1String("0") || enabled == QLatin1String("no") ||
                          enabled == QLatin1String("off") || enabled == QLatin1String("false"));

    bool ok = false;
    const int seconds =
        file.Read(QStringLiteral("global"), QStringLiteral("EndWarning"), QString(), kCapacity)
            .toInt(&ok);
    extras.endWarningSeconds = ok && seconds > 0 ? seconds : 0;

    const double target =
        file.Read(QStringLiteral("audio"), QStringLiteral("LoudnessTarget"), QString(), kCapacity)
            .toDouble(&ok);
    if (ok && target >= -70.0 && target <= 0.0)
        extras.loudnessTarget = target;

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
