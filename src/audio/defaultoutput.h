#pragma once

#include "audio/outputchoice.h"
#include "audio/outputdevice.h"

#include <QString>
#include <memory>

class SupervisedOutput;

// What the operator is told, on stderr and on the status line for the whole run, when carts
// cannot be heard.
inline constexpr char kNoAudioOutputWarning[] = "No audio output device: carts will not be heard.";
// The same, on stderr and on the status line until it appears, when the output the station
// named (%1) is not there at start-up.
inline constexpr char kOutputAwaitedWarning[] =
    "Audio output '%1' is not there: carts will not be heard until it appears.";

struct DefaultOutput {
    std::unique_ptr<OutputDevice> device; // never null
    QString warning; // kNoAudioOutputWarning for the unwatched silent output, else empty
    // The watched sound device (owned by device), reopened when lost or awaited while the
    // named one is missing; null for the silent output, which nothing watches or polls.
    SupervisedOutput* supervised = nullptr;
    // outputIdentity() of the device opened; empty for the silent output and an awaited one.
    QString identity;
};

// The output for the life of the program: the chosen PortAudio output (the default one when
// the choice names none), watched and reopened when lost (SupervisedOutput). A named output
// that is missing or does not open is awaited (stderr is told, with the devices there are):
// the supervised output starts lost, with kOutputAwaitedWarning, and opens that device, never
// another, once it appears. With no output named and none that opens: a null device paced
// by the clock, with kNoAudioOutputWarning (also written to stderr). Writes the device and
// the latency it obtained to stderr. UI thread, at start-up; blocks while PortAudio looks
// for devices.
DefaultOutput openDefaultOutput(const OutputChoice& choice = {}, int sampleRate = 48000);

// The pre-listen output the station named (a device of the list, or a unique part of its
// name, as for the output): watched and reopened as the output is. A JACK device is played
// into by a JACK client of its own, "Airloom preview" (ports preview_0 and preview_1), so
// that the stream on air is never touched. Null, with a line on stderr, when the name
// matches nothing that opens, a device that will not play at sampleRate (the carts' rate), or
// the output on air (onAir, its outputIdentity()): the preview would be heard on air.
// UI thread, at start-up; blocks while PortAudio looks for devices.
std::unique_ptr<SupervisedOutput> openPreviewOutput(const QString& name, int periodFrames,
                                                    int sampleRate, const QString& onAir);

// Writes `airloom --list-devices`: the output devices PortAudio sees, one a line.
QString listOutputDevices();
