// Fire-to-first-frame latency on the real output path: a JACK client captures what the
// client "Airloom" plays while F1 is pressed through xdotool, and prints the time from each
// key press to the first captured frame of sound.
//
// Usage: airloom-firelatency [ROUNDS]. Deck 1 of the running program must hold a cart
// that starts with sound; DISPLAY and JACK_DEFAULT_SERVER name the X display and the JACK
// server. scripts/measure-latency.sh sets all of this up.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <jack/jack.h>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Capture {
    jack_port_t* ports[2] = {};
    // The start of the process cycle that first carried sound after a silent one.
    std::atomic<Clock::rep> onset{0};
    std::atomic<Clock::rep> lastSound{0};
    bool sounding = false;
};

int process(jack_nframes_t frames, void* arg) {
    auto* capture = static_cast<Capture*>(arg);
    const Clock::rep now = Clock::now().time_since_epoch().count();
    bool sound = false;
    for (jack_port_t* port : capture->ports) {
        const auto* in = static_cast<const float*>(jack_port_get_buffer(port, frames));
        sound = sound || std::any_of(in, in + frames, [](float s) { return s != 0.0f; });
    }
    if (sound && !capture->sounding)
        capture->onset.store(now);
    if (sound)
        capture->lastSound.store(now);
    capture->sounding = sound;
    return 0;
}

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void pressF1() {
    if (std::system("xdotool key F1") != 0)
        std::fprintf(stderr, "xdotool failed\n");
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 20;
    Capture capture;
    jack_client_t* client = jack_client_open("airloom-capture", JackNoStartServer, nullptr);
    if (!client) {
        std::fprintf(stderr, "no JACK server\n");
        return 1;
    }
    capture.ports[0] =
        jack_port_register(client, "in_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    capture.ports[1] =
        jack_port_register(client, "in_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(client, process, &capture);
    if (jack_activate(client) != 0 ||
        jack_connect(client, "Airloom:out_0", "airloom-capture:in_1") != 0 ||
        jack_connect(client, "Airloom:out_1", "airloom-capture:in_2") != 0) {
        std::fprintf(stderr, "cannot capture Airloom:out_0 and out_1\n");
        return 1;
    }
    std::printf("JACK: %u Hz, %u-frame periods\n", jack_get_sample_rate(client),
                jack_get_buffer_size(client));

    std::vector<double> latencies;
    std::vector<double> keyTimes;
    for (int round = 0; round < rounds; ++round) {
        // Silence for 300 ms before each press, so the onset is this press's.
        while (Clock::now().time_since_epoch().count() - capture.lastSound.load() <
               std::chrono::duration_cast<Clock::duration>(std::chrono::milliseconds(300)).count())
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const Clock::time_point pressed = Clock::now();
        pressF1();
        keyTimes.push_back(ms(Clock::now() - pressed));
        const Clock::time_point deadline = pressed + std::chrono::seconds(2);
        while (capture.onset.load() < pressed.time_since_epoch().count() && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        const Clock::rep onset = capture.onset.load();
        if (onset < pressed.time_since_epoch().count()) {
            std::printf("round %d: no sound within 2 s\n", round + 1);
        } else {
            latencies.push_back(ms(Clock::duration(onset) - pressed.time_since_epoch()));
            std::printf("round %d: %.1f ms\n", round + 1, latencies.back());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        pressF1(); // the playing deck's own key stops it
    }
    jack_client_close(client);
    if (latencies.empty())
        return 1;
    std::sort(latencies.begin(), latencies.end());
    std::sort(keyTimes.begin(), keyTimes.end());
    std::printf("fire to first captured frame over %zu presses: median %.1f ms, min %.1f, max "
                "%.1f (from the start of xdotool, which takes a median %.1f ms to press and "
                "release)\n",
                latencies.size(), latencies[latencies.size() / 2], latencies.front(),
                latencies.back(), keyTimes[keyTimes.size() / 2]);
    return 0;
}
