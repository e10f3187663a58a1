#pragma once

#include <QByteArray>
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
    // "jack": the JACK host's default output, whatever the server calls its playback client.
    bool namesJack() const;
    // Each reads a figure; empty when it is usable (and then stored), else the reason.
    QString setPeriodFrames(const QString& text);
    QString setPeriods(const QString& text);
};

// The choice with a buffer that covers one quantum of the sound server the device plays into
// (quantumFrames, 0 when unknown): a PipeWire graph that runs at a longer quantum than the
// buffer takes frames from it once and never again. The period grows to the quantum (a
// longer period is how PipeWire's ALSA layer learns it; more periods do not help there).
OutputChoice coverQuantum(OutputChoice choice, int quantumFrames);

// The quantum a user set for PipeWire's clients (PIPEWIRE_LATENCY, "frames/rate"), in frames
// at sampleRate; 0 when it is not set or cannot be read.
int userQuantumFrames(const QByteArray& pipewireLatency, int sampleRate);

// Tells a device that stalls at once after every open (a sound server whose quantum is longer
// than the buffer it was not told about) from an output that was lost for good reasons: true,
// once, at the second attempt in a row that follows its device's open within kQuickLossMs.
class QuickLossGuard {
public:
    static constexpr qint64 kQuickLossMs = 5000;
    // An attempt to reopen at nowMs (any steady clock).
    bool attempt(qint64 nowMs);
    // The attempt opened a device at nowMs.
    void opened(qint64 nowMs) { m_lastOpen = nowMs; }

private:
    qint64 m_lastOpen = -1;
    int m_quick = 0;
    bool m_enlarged = false;
};

// An output device as the host lists it.
struct OutputDeviceInfo {
    QString hostApi; // "ALSA", "JACK Audio Connection Kit"
    QString name;
    int channels = 0;
    double defaultSampleRate = 0.0;
    bool hostDefault = false; // the default output of its host API
};

// The devices grouped by host API, a line each: name, channels and default rate, the host's
// default output marked.
QString describeOutputDevices(const std::vector<OutputDeviceInfo>& devices);

// What tells one output from another: a device's name and host API ("USB Audio CODEC: Audio
// (hw:1,0) (ALSA)"); a JACK host's device by the JACK client played into alone ("system
// (JACK)"), since any client of ours that plays there is heard on it.
QString outputIdentity(const QString& name, const QString& hostApi);

struct DeviceMatch {
    int index = -1; // into the list; -1: the default output
    QString error;  // why the wanted device was not found (naming the devices there are)
};

// The device that wanted names: "" or "default" is the default output; "jack" the JACK host's
// default output; else the device whose name is wanted (ignoring case), else the only one
// whose "name (host API)" contains it.
DeviceMatch matchOutputDevice(const std::vector<OutputDeviceInfo>& devices, const QString& wanted);
