#include "audio/libraryhooks.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>

namespace {

void ignoreAlsa(const char*, int, const char*, int, const char*, ...) {}
void ignoreJack(const char*) {}

} // namespace

void silenceAudioLibraries() {
    snd_lib_error_set_handler(&ignoreAlsa);
    // PortAudio's JACK host sets an error function of its own (as quiet) at its initialisation;
    // these cover the ALSA JACK plugin probed before it and our own JACK clients.
    jack_set_error_function(&ignoreJack);
    jack_set_info_function(&ignoreJack);
}
