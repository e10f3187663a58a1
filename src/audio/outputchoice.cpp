#include "audio/outputchoice.h"

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

QString describeOutputDevices(const std::vector<OutputDeviceInfo>& devices) {
    if (devices.empty())
        return QStringLiteral("  (no output devices)\n");
    QString text;
    for (const OutputDeviceInfo& device : devices)
        text += QStringLiteral("  %1: %2, %3 channels, %4 Hz\n")
                    .arg(device.hostApi, device.name)
                    .arg(device.channels)
                    .arg(device.defaultSampleRate, 0, 'f', 0);
    return text;
}

DeviceMatch matchOutputDevice(const std::vector<OutputDeviceInfo>& devices, const QString& wanted) {
    if (!OutputChoice{wanted}.namesDevice())
        return {};
    const QString name = wanted.trimmed();
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
