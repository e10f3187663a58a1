#pragma once

#include "audio/outputdevice.h"

#include <QString>
#include <memory>

// What the operator is told, once at start-up and on stderr, when carts cannot be heard.
inline constexpr char kNoAudioOutputWarning[] = "No audio output device: carts will not be heard.";

struct DefaultOutput {
    std::unique_ptr<OutputDevice> device; // never null
    QString warning;                      // empty when a sound device was opened
};

// The output for the life of the program: PortAudio's default output device, or, when none
// can be opened, a null device paced by the clock, with kNoAudioOutputWarning (also written
// to stderr). UI thread, at start-up; blocks while PortAudio looks for devices.
DefaultOutput openDefaultOutput(int sampleRate = 48000, int periodFrames = 256);
