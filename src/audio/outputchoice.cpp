#include "audio/outputchoice.h"

#include <QStringList>
#include <algorithm>
#include <bit>

namespace {

QString label(const OutputDeviceInfo& device) {
    return QStringLiteral("%1 (%2)").arg(device.name, device.hostApi);
}

} // namespace

bool OutputChoice::namesDevice() const {
    const QString name = device.trimmed();
    return !name.isEmpty() && name.compare(QLatin1String("default"), Qt::CaseInsensitive) != 0;
}

bool OutputChoice::namesJack() const {
    return device.trimmed().compare(QLatin1String("jack"), Qt::CaseInsensitive) == 0;
}

QString OutputChoice::setPeriodFrames(const QString& text) {
    bool ok = false;
    const int frames = text.trimmed().toInt(&ok);
    if (!ok || frames < kMinPeriodFrames || frames > kMaxPeriodFrames ||
        !std::has_single_bit(static_cast<unsigned>(frames)))
        return QStringLiteral("the period must be a power of two from %1 to %2 frames, not '%3'")
            .arg(kMinPeriodFrames)
            .arg(kMaxPeriodFrames)
            .arg(text);
    periodFrames = frames;
    return {};
}

QString OutputChoice::setPeriods(const QString& text) {
    bool ok = false;
    const int count = text.trimmed().toInt(&ok);
    if (!ok || count < 2 || count > kMaxPeriods)
        return QStringLiteral("the number of periods must be from 2 to %1, not '%2'")
            .arg(kMaxPeriods)
            .arg(text);
    periods = count;
    return {};
}

OutputChoice coverQuantum(OutputChoice choice, int quantumFrames) {
    const int periods = std::max(choice.periods, 2);
    if (quantumFrames <= 0 || choice.periodFrames * periods >= quantumFrames)
        return choice;
    choice.periodFrames =
        std::min(static_cast<int>(std::bit_ceil(static_cast<unsigned>(quantumFrames))),
                 OutputChoice::kMaxPeriodFrames);
    return choice;
}

int userQuantumFrames(const QByteArray& pipewireLatency, int sampleRate) {
    const QList<QByteArray> parts = pipewireLatency.split('/');
    bool framesOk = false;
    bool rateOk = false;
    const qint64 frames = parts.value(0).trimmed().toLongLong(&framesOk);
    const qint64 rate = parts.size() == 2 ? parts[1].trimmed().toLongLong(&rateOk) : 0;
    if (!framesOk || frames <= 0 || (parts.size() == 2 && (!rateOk || rate <= 0)))
        return 0;
    // Without a rate the frames are the graph's, taken as at the engine's rate.
    const qint64 scaled = rate > 0 ? (frames * sampleRate + rate - 1) / rate : frames;
    return static_cast<int>(std::min<qint64>(scaled, OutputChoice::kMaxPeriodFrames));
}

bool QuickLossGuard::attempt(qint64 nowMs) {
    const bool quick = m_lastOpen >= 0 && nowMs - m_lastOpen < kQuickLossMs;
    m_quick = quick ? m_quick + 1 : 0;
    m_lastOpen = -1;
    if (m_quick < 2 || m_enlarged)
        return false;
    m_enlarged = true;
    return true;
}

QString describeOutputDevices(const std::vector<OutputDeviceInfo>& devices) {
    if (devices.empty())
        return QStringLiteral("  (no output devices)\n");
    QStringList hosts;
    for (const OutputDeviceInfo& device : devices) {
        if (!hosts.contains(device.hostApi))
            hosts << device.hostApi;
    }
    QString text;
    for (const QString& host : hosts) {
        text += host + QStringLiteral(":\n");
        for (const OutputDeviceInfo& device : devices) {
            if (device.hostApi == host)
                text += QStringLiteral("  %1, %2 channels, %3 Hz%4\n")
                            .arg(device.name)
                            .arg(device.channels)
                            .arg(device.defaultSampleRate, 0, 'f', 0)
                            .arg(device.hostDefault ? QStringLiteral(" (default)") : QString());
        }
    }
    return text;
}

QString outputIdentity(const QString& name, const QString& hostApi) {
    const bool jack = hostApi.contains(QLatin1String("JACK"));
    return QStringLiteral("%1 (%2)").arg(name, jack ? QStringLiteral("JACK") : hostApi);
}

DeviceMatch matchOutputDevice(const std::vector<OutputDeviceInfo>& devices, const QString& wanted) {
    if (!OutputChoice{wanted}.namesDevice())
        return {};
    const QString name = wanted.trimmed();
    if (OutputChoice{wanted}.namesJack()) {
        // The host's default output, else its first.
        int jack = -1;
        for (int i = static_cast<int>(devices.size()) - 1; i >= 0; --i) {
            if (devices[i].hostApi.startsWith(QLatin1String("JACK")) &&
                (jack < 0 || !devices[jack].hostDefault))
                jack = i;
        }
        if (jack >= 0)
            return {jack, {}};
        return {-1, QStringLiteral("No JACK server answers (none runs under the name in "
                                   "JACK_DEFAULT_SERVER, or the program was not started through "
                                   "pw-jack). The output devices are:\n") +
                        describeOutputDevices(devices)};
    }
    std::vector<int> exact;
    std::vector<int> partial;
    for (int i = 0; i < static_cast<int>(devices.size()); ++i) {
        if (devices[i].name.compare(name, Qt::CaseInsensitive) == 0)
            exact.push_back(i);
        if (label(devices[i]).contains(name, Qt::CaseInsensitive))
            partial.push_back(i);
    }
    if (exact.size() == 1)
        return {exact.front(), {}};
    if (partial.size() == 1)
        return {partial.front(), {}};
    const QString why = partial.empty() ? QStringLiteral("No audio output device matches '%1'.")
                                        : QStringLiteral("'%1' names more than one audio output "
                                                         "device.");
    return {-1, why.arg(name) + QStringLiteral(" The output devices are:\n") +
                    describeOutputDevices(devices)};
}
