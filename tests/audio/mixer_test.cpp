#include "audio/mixer.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <vector>

namespace {

constexpr int kRate = 48000;
using Event = Mixer::Event;
using Command = Mixer::Command;

// The callback's side alone: voices of constant level from memory, commands sent as the UI
// thread sends them, events read back.
struct MixerRig {
    Mixer mixer{kRate};
    std::vector<std::unique_ptr<Voice>> voices;
    std::vector<std::vector<float>> heads;

    Voice* voice(std::uint64_t id, std::vector<float> samples) {
        auto& head = heads.emplace_back(std::move(samples));
        auto& made = voices.emplace_back(std::make_unique<Voice>());
        made->id = id;
        made->head = head.data();
        made->headFrames = static_cast<std::int64_t>(head.size() / 2);
        return made.get();
    }
    Voice* voice(std::uint64_t id, int frames, float level) {
        return voice(id, std::vector<float>(static_cast<std::size_t>(frames) * 2, level));
    }
    std::vector<float> render(int frames) {
        std::vector<float> out(static_cast<std::size_t>(frames) * 2);
        mixer.render(out.data(), frames);
        return out;
    }
    std::vector<std::pair<Event::Kind, std::uint64_t>> events() {
        std::vector<std::pair<Event::Kind, std::uint64_t>> taken;
        for (Event event; mixer.takeEvent(event);)
            taken.emplace_back(event.kind, event.voice);
        return taken;
    }
};

// A stop or disarm that the UI thread sends before it has heard of the join it races
// silences the follower that started, and the events name each voice let go of once: the
// old voice by its handover, the follower by its release.
TEST(Mixer, AFollowerTakenBackInTheInstantOfItsJoinIsTheVoiceReleased) {
    for (const Command::Kind stop : {Command::Disarm, Command::Release}) {
        SCOPED_TRACE(int(stop));
        MixerRig rig;
        Voice* first = rig.voice(1, 1000, 0.25f);
        Voice* follower = rig.voice(2, kRate, 0.5f);
        rig.mixer.send({Command::Add, first, 1});
        rig.mixer.send({Command::Arm, follower, 1});
        const std::vector<float> join = rig.render(1024);
        EXPECT_EQ(std::pair(join[2 * 999], join[2 * 1000]), std::pair(0.25f, 0.5f)); // last, next
        EXPECT_EQ(rig.events(), (decltype(rig.events()){{Event::HandedOver, 1}}));

        rig.mixer.send({stop, nullptr, 1});
        const std::vector<float> after = rig.render(256);
        EXPECT_EQ(rig.events(), (decltype(rig.events()){{Event::Released, 2}}));
        const int ramp = kRate / 500;
        EXPECT_LT(std::fabs(after[2 * (ramp - 1)]), 0.5f / ramp * 1.01f);
        EXPECT_EQ(after[2 * ramp], 0.0f);
        EXPECT_TRUE(rig.mixer.isSilent());
    }
}

// Taken back before the join: the follower never sounds and is released; the voice ends
// and is released when the UI thread lets go of it.
TEST(Mixer, AFollowerTakenBackBeforeItsJoinNeverSounds) {
    MixerRig rig;
    Voice* first = rig.voice(1, 600, 0.25f);
    rig.mixer.send({Command::Add, first, 1});
    rig.mixer.send({Command::Arm, rig.voice(2, 600, 0.5f), 1});
    rig.render(256);
    rig.mixer.send({Command::Disarm, nullptr, 1});
    const std::vector<float> rest = rig.render(512);
    EXPECT_EQ(std::pair(rest[2 * 343], rest[2 * 344]), std::pair(0.25f, 0.0f));
    EXPECT_EQ(rig.events(), (decltype(rig.events()){{Event::Released, 2}, {Event::Ended, 1}}));
    EXPECT_TRUE(rig.mixer.isSilent());
    // Commands for a voice let go of reach nothing; Release lets go of an ended one.
    rig.mixer.send({Command::Pause, nullptr, 2});
    rig.mixer.send({Command::Release, nullptr, 1});
    rig.render(256);
    EXPECT_EQ(rig.events(), (decltype(rig.events()){{Event::Released, 1}}));
}

TEST(Mixer, OnlyFiniteSoundWithinFullScaleLeavesIt) {
    MixerRig rig;
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    rig.mixer.send({Command::Add, rig.voice(1, {nan, inf, -inf, 2.0f, -3.0f, 0.5f}), 1});
    rig.mixer.send({Command::Add, rig.voice(2, {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.75f}), 2});
    EXPECT_EQ(rig.render(4), (std::vector<float>{0, 0, 0, 1, -1, 1, 0, 0}));
    EXPECT_EQ(rig.mixer.nonFiniteSamples(), 3u);
}

} // namespace
