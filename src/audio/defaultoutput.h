#pragma once

#include "audio/outputchoice.h"
#include "audio/outputdevice.h"

#include <QString>
#include <memory>

class SupervisedOutput;

// What the operator is told, once at start-up and on stderr, when carts cannot be heard.
inline constexpr char kNoAudioOutputWarning[] = "No audio output device: carts will not be heard.";

struct DefaultOutput {
    std::unique_ptr<OutputDevice> device; // never null
    QString warning;                      // empty when a sound device was opened
    // The watched sound device (owned by device), reopened when lost; null for the silent
    // output, which nothing watches or polls.
    SupervisedOutput* supervised = nullptr;
};

// The output for the life of the program: the chosen PortAudio output (the default one when
// the choice names none, or one that does not exist, which stderr is told with the devices
// there are), watched and reopened when lost (SupervisedOutput), or, when none can be
// opened, a null device paced by the clock, with kNoAudioOutputWarning (also written to
// stderr). Writes the device and the latency it
// obtained to stderr. UI thread, at start-up; blocks while PortAudio looks for devices.
DefaultOutput openDefaultOutput(const OutputChoice& choice = {}, int sampleRate = 48000);

// Writes `airloom --list-devices`: the output devices PortAudio sees, one a line.
QString listOutputDevices();
