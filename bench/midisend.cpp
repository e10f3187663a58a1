// Sends one MIDI message to a JACK MIDI input port, as a pad controller would:
//   airloom-midisend "Airloom in:Airloom" 90 24 7f
// The bytes (hexadecimal) go out in the first process cycle after the connection is made;
// the program then exits. Prints the wall-clock time (CLOCK_MONOTONIC, ns) of that cycle, so
// the measuring scripts can set it against the first captured frame.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <thread>
#include <vector>

namespace {
jack_port_t* port = nullptr;
std::vector<unsigned char> bytes;
std::atomic<bool> armed{false};
std::atomic<bool> sent{false};
std::atomic<long long> sentAt{0};

int process(jack_nframes_t frames, void*) {
    void* buffer = jack_port_get_buffer(port, frames);
    jack_midi_clear_buffer(buffer);
    if (armed.load() && !sent.load()) {
        jack_midi_event_write(buffer, 0, bytes.data(), bytes.size());
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        sentAt = now.tv_sec * 1000000000LL + now.tv_nsec;
        sent = true;
    }
    return 0;
}
} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s PORT BYTE...\n", argv[0]);
        return 2;
    }
    for (int i = 2; i < argc; ++i)
        bytes.push_back(static_cast<unsigned char>(std::strtoul(argv[i], nullptr, 16)));
    jack_client_t* client = jack_client_open("airloom-midisend", JackNoStartServer, nullptr);
    if (client == nullptr) {
        std::fprintf(stderr, "no JACK server\n");
        return 1;
    }
    port = jack_port_register(client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    jack_set_process_callback(client, process, nullptr);
    jack_activate(client);
    if (jack_connect(client, jack_port_name(port), argv[1]) != 0) {
        std::fprintf(stderr, "cannot connect to %s\n", argv[1]);
        jack_client_close(client);
        return 1;
    }
    // The server takes up a new connection in a later cycle: an event written at once is lost.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    armed = true;
    for (int i = 0; i < 200 && !sent.load(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    // A few more cycles, so the event is delivered before the port goes.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::printf("%lld\n", sentAt.load());
    jack_client_close(client);
    return sent.load() ? 0 : 1;
}
