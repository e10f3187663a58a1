// The real output path, through a JACK client that captures what the client "Airloom" plays
// while keys are pressed through xdotool.
//
// airloom-firelatency [ROUNDS]: the time from each press of F1 to the first captured frame
// of sound. Deck 1 of the running program must hold a cart that starts with sound.
//
// airloom-firelatency --joins KEY MS CART...: presses KEY (a deck key that starts a Sequence
// chain or a Loop), captures every frame played, presses KEY again MS ms after the first
// sound if it still sounds, and prints the silence the player put in at each join of the
// carts, which are expected to play in the order given (repeated, for a Loop). The carts are
// decoded with the program's own decoder; the silence a file holds at its start or end is
// its own and not counted, and each cart heard is compared with its decoding sample for
// sample.
//
// airloom-firelatency --first-sound SECONDS: waits up to SECONDS for the client "Airloom" to
// appear (a program that was waiting for its JACK server), captures it, and prints the wall
// clock (seconds since the epoch) of the first captured frame of sound.
//
// airloom-firelatency --remote OSCPORT [ROUNDS]: deck 1 fired in turn by F1, by note 36 on the
// program's JACK MIDI input "Airloom in:Airloom" (written in this client's next process
// cycle) and by /airloom/deck/1/fire sent to 127.0.0.1:OSCPORT, ROUNDS times each; each is
// timed from the moment it was asked for to the first captured frame, and the same trigger
// stops the deck again.
//
// DISPLAY and JACK_DEFAULT_SERVER name the X display and the JACK server;
// scripts/measure-latency.sh sets all of this up. AIRLOOM_CAPTURE ("LEFT,RIGHT") names the
// ports captured instead of Airloom:out_0 and out_1: a PipeWire sink's monitor ports, under
// pw-jack, for the program's other paths into PipeWire (scripts/measure-pipewire.sh).
// AIRLOOM_KEY names the key pressed in place of F1 (space: a pre-listen of the cart list's
// selection, captured on "Airloom preview", scripts/measure-prelisten.sh).
#include "audio/decoder.h"

#include <QString>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Capture {
    jack_port_t* ports[2] = {};
    // The start of the process cycle that first carried sound after a silent one.
    std::atomic<Clock::rep> onset{0};
    std::atomic<Clock::rep> lastSound{0};
    bool sounding = false;
    // Every frame (interleaved stereo) from the start of recording until the buffer is full.
    std::vector<float> recording;
    std::atomic<bool> recordingOn{false};
    std::atomic<std::size_t> recorded{0}; // frames
    // A note on to send in the next process cycle (--remote).
    jack_port_t* midiOut = nullptr;
    std::atomic<bool> notePending{false};
};

int process(jack_nframes_t frames, void* arg) {
    auto* capture = static_cast<Capture*>(arg);
    if (capture->midiOut != nullptr) {
        void* midi = jack_port_get_buffer(capture->midiOut, frames);
        jack_midi_clear_buffer(midi);
        if (capture->notePending.exchange(false)) {
            const unsigned char note[3] = {0x90, 36, 127};
            jack_midi_event_write(midi, 0, note, sizeof note);
        }
    }
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
    const std::size_t at = capture->recorded.load(std::memory_order_relaxed);
    if (capture->recordingOn.load(std::memory_order_acquire) &&
        (at + frames) * 2 <= capture->recording.size()) {
        const auto* left =
            static_cast<const float*>(jack_port_get_buffer(capture->ports[0], frames));
        const auto* right =
            static_cast<const float*>(jack_port_get_buffer(capture->ports[1], frames));
        float* out = capture->recording.data() + at * 2;
        for (jack_nframes_t i = 0; i < frames; ++i) {
            out[2 * i] = left[i];
            out[2 * i + 1] = right[i];
        }
        capture->recorded.store(at + frames, std::memory_order_release);
    }
    return 0;
}

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void press(const std::string& key) {
    if (std::system(("xdotool key " + key).c_str()) != 0)
        std::fprintf(stderr, "xdotool failed\n");
}

const char* keyName() {
    const char* key = std::getenv("AIRLOOM_KEY");
    return key && *key ? key : "F1";
}

void pressKey() {
    press(keyName());
}

// One cart as the program decodes it at the output rate.
struct Decoded {
    std::string name;
    std::vector<float> samples;
    std::size_t frames() const { return samples.size() / 2; }
    bool silentAt(std::size_t frame) const {
        return samples[2 * frame] == 0.0f && samples[2 * frame + 1] == 0.0f;
    }
    std::size_t leadingSilence() const {
        std::size_t n = 0;
        while (n < frames() && silentAt(n))
            ++n;
        return n;
    }
    std::size_t trailingSilence() const {
        std::size_t n = 0;
        while (n < frames() && silentAt(frames() - 1 - n))
            ++n;
        return n;
    }
};

Decoded decode(const char* path, int rate) {
    Decoded cart{std::strrchr(path, '/') ? std::strrchr(path, '/') + 1 : path, {}};
    Decoder decoder(rate);
    if (!decoder.open(QString::fromLocal8Bit(path)))
        return cart;
    std::vector<float> chunk(4096 * 2);
    for (int got; (got = decoder.read(chunk.data(), 4096)) > 0;)
        cart.samples.insert(cart.samples.end(), chunk.begin(), chunk.begin() + got * 2);
    return cart;
}

// Where the frames of cart from frame `from` on (kMatch of them) lie in the capture, found
// sample for sample; the nearest place to near within a second, or -1.
constexpr long kMatch = 64;
long locate(const std::vector<float>& captured, long frames, const Decoded& cart, long from,
            long near) {
    if (from < 0 || from + kMatch > long(cart.frames()))
        return -1;
    const auto matches = [&](long at) {
        return at >= 0 && at + kMatch <= frames &&
               std::equal(cart.samples.begin() + 2 * from,
                          cart.samples.begin() + 2 * (from + kMatch), captured.begin() + 2 * at);
    };
    for (long distance = 0; distance < 48000; ++distance) {
        if (matches(near - distance))
            return near - distance;
        if (matches(near + distance))
            return near + distance;
    }
    return -1;
}

// Finds each cart in the capture, in order, by its first and last sounding frames, and prints
// the silence between the last sound of one and the first of the next, less the silence the
// files hold there themselves. Frames the device dropped or replaced inside a cart (a period
// late on a busy machine) are told apart. Returns the largest silence put in at a join, or
// -1 when no join was heard.
long reportJoins(const std::vector<float>& captured, long frames,
                 const std::vector<Decoded>& carts) {
    long first = 0;
    while (first < frames && captured[2 * first] == 0.0f && captured[2 * first + 1] == 0.0f)
        ++first;
    long worst = -1;
    long head = locate(captured, frames, carts[0], long(carts[0].leadingSilence()), first);
    for (std::size_t k = 0; head >= 0; ++k) {
        const Decoded& cart = carts[k % carts.size()];
        const Decoded& next = carts[(k + 1) % carts.size()];
        const long lead = long(cart.leadingSilence());
        const long lastSound = long(cart.frames() - cart.trailingSilence()) - 1;
        // The start of the capture that holds the cart's last kMatch sounding frames.
        const long expected = head + (lastSound - lead) - (kMatch - 1);
        const long tail = locate(captured, frames, cart, lastSound - (kMatch - 1), expected);
        if (tail < 0) {
            // Stopped before its end, or the device lost more than a search finds again.
            std::printf("%s: its end not heard where it was due\n", cart.name.c_str());
            return worst;
        }
        const long end = tail + kMatch - 1; // the cart's last sound
        const long lost = expected - tail;
        std::size_t differ = 0;
        for (long f = lead; lost == 0 && f <= lastSound; ++f) {
            differ += captured[2 * (head + f - lead)] != cart.samples[2 * f] ||
                      captured[2 * (head + f - lead) + 1] != cart.samples[2 * f + 1];
        }
        const long nextLead = long(next.leadingSilence());
        const long nextHead =
            locate(captured, frames, next, nextLead, end + 1 + long(cart.trailingSilence()));
        if (nextHead < 0) {
            std::printf("%s: not heard after %s\n", next.name.c_str(), cart.name.c_str());
            return worst;
        }
        const long own = long(cart.trailingSilence()) + nextLead;
        const long run = nextHead - end - 1;
        const long added = run - own;
        std::string heard = "heard sample for sample";
        if (lost != 0)
            heard = std::to_string(lost) + " frames of it lost on the device";
        else if (differ != 0)
            heard = std::to_string(differ) + " frames of it replaced on the device";
        std::printf("join %zu, %s -> %s: %ld silent frames put in (%ld silent, %ld of them the "
                    "files' own); %s %s\n",
                    k + 1, cart.name.c_str(), next.name.c_str(), added, run, own, cart.name.c_str(),
                    heard.c_str());
        worst = std::max(worst, std::labs(added));
        head = nextHead;
    }
    return worst;
}

// Presses key, captures until ms after the first sound (pressing key again then if it
// still sounds) and a second of silence, and reports the joins of the carts.
int measureJoins(Capture& capture, jack_client_t* client, const std::string& key, int ms,
                 const std::vector<Decoded>& carts) {
    capture.recording.assign(std::size_t(jack_get_sample_rate(client)) * 120 * 2, 0.0f);
    capture.recordingOn.store(true, std::memory_order_release);
    const Clock::time_point pressed = Clock::now();
    press(key);
    while (capture.onset.load() < pressed.time_since_epoch().count()) {
        if (Clock::now() - pressed > std::chrono::seconds(2)) {
            std::printf("%s: no sound within 2 s\n", key.c_str());
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const Clock::time_point heard(Clock::duration(capture.onset.load()));
    std::this_thread::sleep_until(heard + std::chrono::milliseconds(ms));
    const auto quiet = [&capture](auto duration) {
        return Clock::now().time_since_epoch().count() - capture.lastSound.load() >=
               std::chrono::duration_cast<Clock::duration>(duration).count();
    };
    if (!quiet(std::chrono::milliseconds(100)))
        press(key); // a Loop goes on until its deck's key stops it
    while (!quiet(std::chrono::seconds(1)))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    capture.recordingOn.store(false, std::memory_order_release);
    const long frames = long(capture.recorded.load(std::memory_order_acquire));
    const long worst = reportJoins(capture.recording, frames, carts);
    if (worst < 0) {
        std::printf("%s: no join heard\n", key.c_str());
        return 1;
    }
    std::printf("%s: the most silence put in at a join: %ld frames (%.2f ms)\n", key.c_str(), worst,
                1000.0 * double(worst) / jack_get_sample_rate(client));
    return 0;
}

// Waits until capture has been silent for 300 ms, so the next onset is the next trigger's.
void waitForSilence(const Capture& capture) {
    while (Clock::now().time_since_epoch().count() - capture.lastSound.load() <
           std::chrono::duration_cast<Clock::duration>(std::chrono::milliseconds(300)).count())
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

// Milliseconds from trigger() to the first captured frame; negative when nothing in 2 s.
template <typename Trigger> double timeToSound(const Capture& capture, Trigger trigger) {
    waitForSilence(capture);
    const Clock::time_point asked = Clock::now();
    trigger();
    const Clock::time_point deadline = asked + std::chrono::seconds(2);
    while (capture.onset.load() < asked.time_since_epoch().count() && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    const Clock::rep onset = capture.onset.load();
    if (onset < asked.time_since_epoch().count())
        return -1.0;
    return ms(Clock::duration(onset) - asked.time_since_epoch());
}

int measureRemote(Capture& capture, jack_client_t* client, int oscPort, int rounds) {
    capture.midiOut =
        jack_port_register(client, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (capture.midiOut == nullptr ||
        jack_connect(client, jack_port_name(capture.midiOut), "Airloom in:Airloom") != 0) {
        std::fprintf(stderr, "cannot connect to Airloom in:Airloom ([midi] Enabled=1, Api=jack)\n");
        return 1;
    }
    const int udp = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(std::uint16_t(oscPort));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // "/airloom/deck/1/fire" and an empty type tag string, padded to four bytes.
    static const char kFire[] = "/airloom/deck/1/fire\0\0\0\0,\0\0";
    const auto note = [&capture] {
        capture.notePending = true;
    };
    const auto osc = [&] {
        sendto(udp, kFire, sizeof kFire, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    };
    struct Way {
        const char* name;
        std::function<void()> trigger;
        std::vector<double> times;
    };
    std::vector<Way> ways{
        {"F1 (xdotool)", pressKey, {}}, {"MIDI note 36", note, {}}, {"OSC fire", osc, {}}};
    for (int round = 0; round < rounds; ++round) {
        for (Way& way : ways) {
            const double t = timeToSound(capture, way.trigger);
            if (t < 0)
                std::printf("round %d, %s: no sound within 2 s\n", round + 1, way.name);
            else
                way.times.push_back(t);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            way.trigger(); // the playing deck's own trigger stops it
        }
    }
    close(udp);
    double keyMedian = 0.0;
    for (Way& way : ways) {
        if (way.times.empty())
            continue;
        std::sort(way.times.begin(), way.times.end());
        const double median = way.times[way.times.size() / 2];
        if (&way == &ways.front())
            keyMedian = median;
        std::printf("%s to first captured frame over %zu: median %.1f ms, min %.1f, max %.1f "
                    "(median %+.1f ms against the key)\n",
                    way.name, way.times.size(), median, way.times.front(), way.times.back(),
                    median - keyMedian);
    }
    return 0;
}

} // namespace

// Connects the program's two ports to the capture's; a link that is there already counts.
bool connectBoth(jack_client_t* client, const std::string& left, const std::string& right) {
    const auto linked = [client](const std::string& from, const char* to) {
        const int result = jack_connect(client, from.c_str(), to);
        return result == 0 || result == EEXIST;
    };
    return linked(left, "airloom-capture:in_1") && linked(right, "airloom-capture:in_2");
}

// Waits up to seconds for the program's first sound and prints its wall-clock time. The
// capture links to the program's ports whenever they are there and unlinked: a program that
// waited for its server opens its client at its next attempt, and may close and open it again
// while it finds its output.
int printFirstSound(Capture& capture, jack_client_t* client, const std::string& left,
                    const std::string& right, int seconds) {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(seconds);
    while (capture.onset.load() == 0) {
        if (Clock::now() > deadline) {
            std::fprintf(stderr, "no sound from %s and %s within %d s\n", left.c_str(),
                         right.c_str(), seconds);
            return 1;
        }
        if (jack_port_connected(capture.ports[0]) == 0 ||
            jack_port_connected(capture.ports[1]) == 0)
            connectBoth(client, left, right);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // The steady clock's onset, told on the wall clock for the script.
    const auto age = Clock::now() - Clock::time_point(Clock::duration(capture.onset.load()));
    const auto wall = std::chrono::system_clock::now() -
                      std::chrono::duration_cast<std::chrono::system_clock::duration>(age);
    std::printf("first sound at %.3f\n",
                std::chrono::duration<double>(wall.time_since_epoch()).count());
    return 0;
}

int main(int argc, char** argv) {
    const bool remote = argc > 2 && std::strcmp(argv[1], "--remote") == 0;
    const bool joins = argc > 4 && std::strcmp(argv[1], "--joins") == 0;
    const bool firstSound = argc > 2 && std::strcmp(argv[1], "--first-sound") == 0;
    const int rounds = remote                              ? (argc > 3 ? std::atoi(argv[3]) : 20)
                       : !joins && !firstSound && argc > 1 ? std::atoi(argv[1])
                                                           : 20;
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
    std::string left = "Airloom:out_0";
    std::string right = "Airloom:out_1";
    if (const char* ports = std::getenv("AIRLOOM_CAPTURE"); ports && std::strchr(ports, ',')) {
        left.assign(ports, std::strchr(ports, ','));
        right = std::strchr(ports, ',') + 1;
    }
    // The client is closed on every way out: its process thread must not outlive main.
    if (jack_activate(client) != 0 || (!firstSound && !connectBoth(client, left, right))) {
        std::fprintf(stderr, "cannot capture %s and %s\n", left.c_str(), right.c_str());
        jack_client_close(client);
        return 1;
    }
    std::printf("JACK: %u Hz, %u-frame periods\n", jack_get_sample_rate(client),
                jack_get_buffer_size(client));
    if (firstSound) {
        const int result = printFirstSound(capture, client, left, right, std::atoi(argv[2]));
        jack_client_close(client);
        return result;
    }
    if (remote) {
        const int result = measureRemote(capture, client, std::atoi(argv[2]), rounds);
        jack_client_close(client);
        return result;
    }
    if (joins) {
        std::vector<Decoded> carts;
        for (int i = 4; i < argc; ++i)
            carts.push_back(decode(argv[i], int(jack_get_sample_rate(client))));
        const int result = measureJoins(capture, client, argv[2], std::atoi(argv[3]), carts);
        jack_client_close(client);
        return result;
    }

    std::vector<double> latencies;
    std::vector<double> keyTimes;
    for (int round = 0; round < rounds; ++round) {
        // Silence for 300 ms before each press, so the onset is this press's.
        while (Clock::now().time_since_epoch().count() - capture.lastSound.load() <
               std::chrono::duration_cast<Clock::duration>(std::chrono::milliseconds(300)).count())
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const Clock::time_point pressed = Clock::now();
        pressKey();
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
        pressKey(); // the playing deck's own key stops it
    }
    jack_client_close(client);
    if (latencies.empty())
        return 1;
    std::sort(latencies.begin(), latencies.end());
    std::sort(keyTimes.begin(), keyTimes.end());
    std::printf("%s to first captured frame over %zu presses: median %.1f ms, min %.1f, max "
                "%.1f (from the start of xdotool, which takes a median %.1f ms to press and "
                "release)\n",
                keyName(), latencies.size(), latencies[latencies.size() / 2], latencies.front(),
                latencies.back(), keyTimes[keyTimes.size() / 2]);
    return 0;
}
