#pragma once

#include <QString>
#include <vector>

// Which output the program opens, and how: the station's [audio] Device, Period and Periods
// in Vidav.ini, overridden by --device, --period and --periods.
struct OutputChoice {
    static constexpr int kDefaultPeriodFrames = 256;
    static constexpr int kMinPeriodFrames = 32;
    static constexpr int kMaxPeriodFrames = 8192;
    static constexpr int kMaxPeriods = 16;

    QString device;                          // a name, a unique part of one; empty: default
    int periodFrames = kDefaultPeriodFrames; // a power of two
    int periods = 0;                         // 0: the fewest the device opens with, from 2
    // Only the named device, never the default output in its place.
    bool exactDevice = false;

    // The station named an output (not the default one): only that one is ever opened.
    bool namesDevice() const;
    // Each reads a figure; empty when it is usable (and then stored), else the reason.
    QString setPeriodFrames(const QString& text);
    QString setPeriods(const QString& text);
};

// An output device as the host lists it.
struct OutputDeviceInfo {
    QString hostApi; // "ALSA", "JACK Audio Connection Kit"
    QString name;
    int channels = 0;
    double defaultSampleRate = 0.0;
};

// One line per device: host API, name, channels and default rate.
QString describeOutputDevices(const std::vector<OutputDeviceInfo>& devices);

struct DeviceMatch {
    int index = -1; // into the list; -1: the default output
    QString error;  // why the wanted device was not found (naming the devices there are)
};

// The device that wanted names: "" or "default" is the default output; else the device whose
// name is wanted (ignoring case), else the only one whose "name (host API)" contains it.
DeviceMatch matchOutputDevice(const std::vector<OutputDeviceInfo>& devices, const QString& wanted);
