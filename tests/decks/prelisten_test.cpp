#include "deckrig.h"
#include "decks/prelisten.h"

// Pre-listening on a second in-process device beside the decks' own: what each output
// plays, and that the decks and the player never notice.
class PreListenTest : public DeckRig {
public:
    PreListenTest()
        : cue(new ManualDevice(kRate, 256)), pre(audio(), std::unique_ptr<OutputDevice>(cue)) {
        QObject::connect(&pre, &PreListen::statusChanged,
                         [this](const QString& text) { lines << text; });
        cart("Air.wav", 3000, 8000);
        cart("Next.wav", 3000, 6000);
        cart("Cue.wav", 15000, 4000);
        cart("Other.wav", 2000, 2000);
    }
    QString path(const QString& name) const { return folder() + "/" + name; }
    // Starts (or, at its end, jumps in) and lets the measurement start it.
    void listen(const QString& name, bool end = false) {
        end ? pre.jumpToEnd(path(name)) : pre.start(path(name));
        audio().waitForMeasurements();
    }
    // One 10 ms tick on both outputs.
    void both(int ticks) {
        for (int i = 0; i < ticks; ++i) {
            cue->render(kTick);
            tick();
        }
    }

    ManualDevice* cue; // owned by pre
    PreListen pre;
    QStringList lines;
};

TEST_F(PreListenTest, PlaysOnItsOwnOutputAndLeavesTheDecksAlone) {
    step("load 1 Air.wav, load 2 Next.wav, mode 1 Seqnc, fire 1, tick 50");
    listen("Cue.wav");
    both(50);
    // Each output heard its own cart only, the pre-listen at the level on air.
    EXPECT_EQ(runsOf(cue->captured()), (Runs{{4000, 50 * kTick}}));
    EXPECT_EQ(heardRuns(), (Runs{{8000, 100 * kTick}}));
    EXPECT_EQ(lines.last().toStdString(), "Pre-listen: Cue.wav 0:00 / 0:15");

    // The cart on air runs out into deck 2 (Sequence), deck 3 is fired meanwhile: the
    // pre-listen plays on, the decks go exactly as they would without it.
    const std::string withPreListen = step("tick 200, fire 2, tick 10");
    cue->clearCapture();
    both(10);
    EXPECT_EQ(runsOf(cue->captured()).front().first, 4000);
    EXPECT_EQ(withPreListen,
              "1 Air yellow 0:00:00 Seqnc, 2 Next yellow 0:00:03 | deck 2 stopped F11");

    // The same key again stops it, and the line is cleared.
    pre.toggle(path("Cue.wav"));
    cue->clearCapture();
    cue->render(4 * kTick);
    EXPECT_EQ(runsOf(cue->captured()).back().first, 0);
    EXPECT_TRUE(lines.last().isEmpty() && !pre.isActive());
}

TEST_F(PreListenTest, ReplacesJumpsToTheEndAndEndsWithTheCart) {
    listen("Cue.wav");
    cue->render(kTick);
    listen("Other.wav"); // another replaces it, within a period
    cue->clearCapture();
    cue->render(kTick);
    // The replaced cart fades out over the first frames of the new one.
    EXPECT_EQ(runsOf(cue->captured()).back().first, 2000);
    EXPECT_GE(runsOf(cue->captured()).back().second, kTick - 256);

    // The last ten seconds of Cue.wav: the stream decodes past the head's five.
    listen("Cue.wav", true);
    EXPECT_EQ(pre.path(), path("Cue.wav"));
    cue->clearCapture();
    cue->render(11 * kRate);
    const auto runs = runsOf(cue->captured());
    ASSERT_GE(runs.size(), 2u);
    EXPECT_EQ(runs[runs.size() - 2].first, 4000);
    EXPECT_NEAR(runs[runs.size() - 2].second, 10 * kRate - 128, 128);
    // The pre-listen's own timer sees it end: the line is cleared, the decks never moved.
    QMetaObject::invokeMethod(pre.findChild<QTimer*>("PreListenTimer"), "timeout");
    EXPECT_TRUE(lines.last().isEmpty() && !pre.isActive());
    EXPECT_EQ(snapshot(), " | deck 0 closed");
    EXPECT_EQ(heardRuns(), (Runs{}));
}

TEST_F(PreListenTest, ALostOutputStopsThePreListenOnly) {
    step("load 1 Air.wav, fire 1, tick 5");
    listen("Cue.wav");
    both(5);
    const std::string before = step("");
    pre.outputLost();
    EXPECT_FALSE(pre.isActive());
    EXPECT_EQ(step(""), before);
    EXPECT_EQ(step("tick 5").substr(0, 22), "1 Air green 0:00:03 | ");
}
