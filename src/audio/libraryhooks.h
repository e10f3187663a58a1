#pragma once

// Keeps ALSA's and JACK's own messages off stderr through the hooks each library offers for
// them: while PortAudio looks for devices, and at each attempt to reopen a lost output, they
// print a screenful about cards and servers that are not there. The process's stderr itself
// is never touched, so the lines of every other thread (underruns, as-run log failures)
// still arrive. PortAudio 19.6 exports no hook for its own lines, which it prints only when
// a device it probes or opens refuses a setting: rare, and worth a line.
//
// Any thread, never blocks; before each initialisation of PortAudio and each JACK client.
void silenceAudioLibraries();
