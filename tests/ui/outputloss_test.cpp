#include "audio/supervisedoutput.h"
#include "support/apprig.h"

#include <algorithm>

namespace {

// A sound device the test renders by hand, and that can say its stream stopped.
struct FakeDevice : ManualDevice {
    explicit FakeDevice(int rate = 48000) : ManualDevice(rate) {}
    bool hasFailed() const override { return failed; }
    bool failed = false;
};

bool heard(const std::vector<float>& capture) {
    return std::any_of(capture.begin(), capture.end(), [](float s) { return s != 0.0f; });
}

// The program over a fake sound device watched by a SupervisedOutput, the rig's manual
// device standing in while it is lost. A reopening attempt takes `next` (none: still gone).
struct LossRig {
    FakeDevice* sound = nullptr;
    std::unique_ptr<FakeDevice> next;
    SupervisedOutput* output = nullptr;
    AppRig rig;
    const QString warning = kOutputLostWarning;

    explicit LossRig(bool open = true, bool failedStart = false)
        : rig(open, true, {}, [this, failedStart](std::unique_ptr<ManualDevice> standIn) {
              auto device = std::make_unique<FakeDevice>();
              device->failed = failedStart;
              sound = device.get();
              auto watched = std::make_unique<SupervisedOutput>(
                  std::move(device), std::move(standIn),
                  [this](QString* error) -> std::unique_ptr<OutputDevice> {
                      *error = "gone";
                      return std::move(next);
                  });
              output = watched.get();
              return watched;
          }) {
        rig.app->watchOutput(*output);
    }
    DeckEngine& decks() const { return rig.decks(); }
    QString status() const { return rig.form().statusLine()->fullText(); }
    // The watchdog ticks with no frame rendered.
    void stall() const {
        for (int tick = 0; tick <= SupervisedOutput::kStallTicks && !output->isLost(); ++tick)
            output->checkDevice();
    }
    // The retry timer's shot, and what the worker opened.
    void attempt() const {
        output->reopen();
        output->waitForWorker();
        QCoreApplication::sendPostedEvents(output);
    }
};

TEST(OutputLoss, AStalledDeviceStopsTheDeckWarnsUntilItReturnsAndKeepsTheDecks) {
    LossRig r;
    r.rig.load(1, "News.wav");
    r.rig.load(2, "Sunday.wav");
    r.decks().ToggleDeckLock(2);
    r.decks().FireDeck(1);
    r.sound->renderPeriods(4);
    ASSERT_TRUE(heard(r.sound->captured()));
    r.output->checkDevice();
    ASSERT_FALSE(r.output->isLost());

    r.stall();
    ASSERT_TRUE(r.output->isLost());
    EXPECT_EQ(r.rig.boxes.take(), QStringList{"Airloom|" + r.warning + "|48"});
    EXPECT_FALSE(r.decks().IsPlaying(1));
    EXPECT_TRUE(r.decks().StoppedByOperator());
    EXPECT_EQ(r.decks().Controls(1).timeCaption, r.decks().IdleTimeText(1));
    EXPECT_TRUE(r.decks().FilePath(1).endsWith("News.wav"));
    EXPECT_TRUE(r.decks().LockedPath(2).endsWith("Sunday.wav"));
    EXPECT_EQ(r.status(), r.warning);

    // Meanwhile the warning stands over the status line, and a fired deck plays silently
    // on the stand-in to its end.
    r.rig.load(3, "Station ID.wav");
    r.decks().FireDeck(3);
    EXPECT_TRUE(r.decks().IsPlaying(3));
    EXPECT_EQ(r.status(), r.warning);
    r.rig.playToEnd();
    EXPECT_FALSE(r.decks().IsPlaying(3));
    EXPECT_EQ(r.decks().Controls(3).timeCaption, r.decks().IdleTimeText(3));

    // Still gone, then back at another rate: the attempts back off.
    EXPECT_EQ(r.output->retryTimer().interval(), SupervisedOutput::kFirstRetryMs);
    r.attempt();
    r.next = std::make_unique<FakeDevice>(44100);
    r.attempt();
    EXPECT_TRUE(r.output->isLost());
    EXPECT_EQ(r.output->retryTimer().interval(), 4 * SupervisedOutput::kFirstRetryMs);

    r.next = std::make_unique<FakeDevice>();
    FakeDevice* back = r.next.get();
    r.attempt();
    ASSERT_FALSE(r.output->isLost());
    EXPECT_FALSE(r.output->retryTimer().isActive());
    EXPECT_EQ(r.status(), "");
    EXPECT_TRUE(r.rig.boxes.shown.isEmpty());
    r.decks().FireDeck(1);
    back->renderPeriods(4);
    EXPECT_TRUE(heard(back->captured()));
    EXPECT_TRUE(r.decks().IsPlaying(1));
}

TEST(OutputLoss, AFailedStartIsToldWithTheMainWindowAndEachStreamErrorOnce) {
    LossRig r(false, true);
    r.output->checkDevice();
    ASSERT_TRUE(r.output->isLost());
    EXPECT_TRUE(r.rig.boxes.shown.isEmpty());
    r.rig.openMainWindow();
    EXPECT_EQ(r.rig.boxes.take(), QStringList{"Airloom|" + r.warning + "|48"});
    EXPECT_EQ(r.status(), r.warning);

    r.next = std::make_unique<FakeDevice>();
    FakeDevice* back = r.next.get();
    r.attempt();
    ASSERT_FALSE(r.output->isLost());
    back->failed = true;
    r.output->checkDevice();
    EXPECT_TRUE(r.output->isLost());
    EXPECT_EQ(r.rig.boxes.take().size(), 1);
}

} // namespace
