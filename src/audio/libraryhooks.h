#pragma once

// Keeps ALSA's and JACK's own messages off stderr through the hooks each library offers for
// them: while PortAudio looks for devices, and at each attempt to reopen a lost output, they
// print a screenful about cards and servers that are not there. The process's stderr itself
// is never touched, so the lines of every other thread (underruns, as-run log failures)
// still arrive. PortAudio prints its own lines only when a device it opens refuses a
// setting (a real fault, which is worth a line); it offers no hook for them.
//
// Any thread, never blocks; before each initialisation of PortAudio and each JACK client.
void silenceAudioLibraries();
