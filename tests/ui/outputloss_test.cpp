#include "audio/defaultoutput.h"
#include "audio/jackdevice.h"
#include "audio/nulldevice.h"
#include "audio/supervisedoutput.h"
#include "support/apprig.h"

#include <algorithm>
#include <cerrno>

using namespace Qt::StringLiterals;

namespace {

// A sound device the test renders by hand, and that can say its stream stopped.
struct FakeDevice : ManualDevice {
    explicit FakeDevice(int rate = 48000) : ManualDevice(rate) {}
    bool hasFailed() const override { return failed; }
    bool failed = false;
};

// The retry timer's shot, and what the worker opened.
void attempt(SupervisedOutput& output) {
    output.reopen();
    output.waitForWorker();
    QCoreApplication::sendPostedEvents(&output);
}

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

    // awaited: the named device is not there at the start, and this warning says so.
    explicit LossRig(bool open = true, const QString& awaited = {})
        : rig(open, true, {}, [=, this](std::unique_ptr<ManualDevice> standIn) {
              SupervisedOutput::Opener reopen = [this](QString* error) {
                  *error = "gone";
                  return std::unique_ptr<OutputDevice>(std::move(next));
              };
              auto watched =
                  awaited.isEmpty()
                      ? std::make_unique<SupervisedOutput>(
                            std::unique_ptr<OutputDevice>(sound = new FakeDevice),
                            std::move(standIn), reopen)
                      : std::make_unique<SupervisedOutput>(std::move(standIn), reopen, awaited);
              output = watched.get();
              return watched;
          }) {
        rig.app->watchOutput(*output);
    }
    DeckEngine& decks() const { return rig.decks(); }
    // The watchdog ticks with no frame rendered.
    void stall() const {
        for (int tick = 0; tick <= SupervisedOutput::kStallTicks && !output->isLost(); ++tick)
            output->checkDevice();
    }
};

// The warning stands in red under the decks and nothing stands in the operator's way: no box,
// the focus kept, and F1 fires deck 1 (on the stand-in while the device is away).
void expectWarnedAndF1Fires(AppRig& rig, const QString& warning) {
    EXPECT_EQ(rig.form().statusLine()->fullText(), warning);
    EXPECT_EQ(rig.form().statusLine()->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_TRUE(rig.boxes.shown.isEmpty() && !QApplication::activeModalWidget());
    QWidget* focus = rig.form().focusWidget();
    ASSERT_NE(focus, nullptr);
    rig.load(1, "News.wav");
    QTest::keyClick(focus, Qt::Key_F1);
    EXPECT_TRUE(rig.decks().IsPlaying(1) && rig.form().focusWidget() == focus);
    rig.decks().StopCart();
}

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
    EXPECT_TRUE(!r.decks().IsPlaying(1) && r.decks().StoppedByOperator());
    EXPECT_EQ(r.decks().Controls(1).timeCaption, r.decks().IdleTimeText(1));
    EXPECT_EQ((r.decks().FilePath(1) + " " + r.decks().LockedPath(2)).toStdString(),
              (r.rig.carts + "/News.wav " + r.rig.carts + "/Sunday.wav").toStdString());
    expectWarnedAndF1Fires(r.rig, kOutputLostWarning);

    // Meanwhile a fired deck plays silently on the stand-in to its end.
    r.rig.load(3, "Station ID.wav");
    r.decks().FireDeck(3);
    r.rig.playToEnd();
    EXPECT_FALSE(r.decks().IsPlaying(3));
    EXPECT_EQ(r.decks().Controls(3).timeCaption, r.decks().IdleTimeText(3));

    // Still gone, then back at another rate: the attempts back off.
    EXPECT_EQ(r.output->retryTimer().interval(), SupervisedOutput::kFirstRetryMs);
    attempt(*r.output);
    r.next = std::make_unique<FakeDevice>(44100);
    attempt(*r.output);
    EXPECT_TRUE(r.output->isLost());
    EXPECT_EQ(r.output->retryTimer().interval(), 4 * SupervisedOutput::kFirstRetryMs);

    r.next = std::make_unique<FakeDevice>();
    FakeDevice* back = r.next.get();
    attempt(*r.output);
    ASSERT_FALSE(r.output->isLost());
    EXPECT_FALSE(r.output->retryTimer().isActive());
    EXPECT_EQ(r.rig.form().statusLine()->fullText(), "");
    r.decks().FireDeck(1);
    back->renderPeriods(4);
    EXPECT_TRUE(heard(back->captured()) && r.decks().IsPlaying(1));
}

// The device the station named is missing at start-up: warned with the main window as a
// loss, and opened once it appears, after the same back-off; lost again, warned again.
TEST(OutputLoss, AMissingNamedDeviceIsWarnedAndOpenedWhenItAppears) {
    const QString missing = "Audio output 'studio' is not there.";
    LossRig r(false, missing);
    ASSERT_TRUE(r.output->isLost());
    r.rig.openMainWindow();
    expectWarnedAndF1Fires(r.rig, missing);
    for (int backOff : {2, 4, 5, 5}) {
        attempt(*r.output);
        EXPECT_EQ(r.output->retryTimer().interval(), backOff * SupervisedOutput::kFirstRetryMs);
    }
    // A device that may have appeared brings the next attempt near.
    r.output->tryAgainSoon();
    EXPECT_EQ(r.output->retryTimer().interval(), SupervisedOutput::kSoonMs);

    r.next = std::make_unique<FakeDevice>();
    FakeDevice* back = r.next.get();
    attempt(*r.output);
    ASSERT_FALSE(r.output->isLost());
    EXPECT_EQ(r.rig.form().statusLine()->fullText(), "");
    back->failed = true;
    r.output->checkDevice();
    EXPECT_TRUE(r.output->isLost());
    expectWarnedAndF1Fires(r.rig, kOutputLostWarning);
}

// The dropouts the output counts against the clock reach the terminal once, and their total
// the hover over the status line; a loss adds none.
TEST(OutputLoss, DropoutsAreReportedAndTotalledForTheOperator) {
    LossRig r;
    static std::int64_t now = 0;
    constexpr std::int64_t kPeriodNs = 1'000'000'000LL * 256 / 48000;
    r.output->setClock([] { return now; });
    // Ten periods on the device's clock, after `skipped` it missed, and a watchdog tick.
    const auto play = [&r](int skipped = 0) {
        now += skipped * kPeriodNs;
        for (int period = 0; period < 10; ++period, now += kPeriodNs)
            r.sound->renderPeriods(1);
        r.output->checkDevice();
    };
    for (int skipped : {0, 0, 1, 0})
        play(skipped);
    EXPECT_TRUE(r.rig.app->audio().takeUnderrunReport().endsWith(
        "1 dropouts heard (5.3 ms missed); 1 dropouts (5.3 ms missed) since the start."));
    r.stall();
    ASSERT_TRUE(r.output->isLost());
    EXPECT_EQ(r.rig.app->audio().takeUnderrunReport(), "");
    EXPECT_TRUE(r.rig.form().statusLine()->hoverText().endsWith(
        "Output: 1 dropouts (5.3 ms missed) since the start."));
}

// A JACK graph of the test's own: the sink's playback ports, which of ours are connected.
struct FakeGraph {
    static inline const QStringList kPorts{u"Null Sink:playback_FL"_s, u"Null Sink:playback_FR"_s};
    QStringList sink = kPorts;
    int refuse = 0; // the errno of every connect
    QStringList linked[2];
    JackDevice* device = nullptr;
    // The sink leaves the graph, or a device opens through it.
    void removeSink() {
        sink = linked[0] = linked[1] = {};
        device->graphChanged();
    }
    // The sink comes back: its ports are registered again.
    void addSink() {
        sink = kPorts;
        for (const QString& port : sink)
            device->portRegistered(port);
    }
    // A period played, and the watchdog's tick.
    void tick(SupervisedOutput& output) const {
        std::vector<float> left(1024), right(1024);
        device->process(left.data(), right.data(), 1024);
        output.checkDevice();
    }
    std::unique_ptr<JackDevice> open() {
        struct Client : JackClient {
            FakeGraph& graph;
            explicit Client(FakeGraph& g) : graph(g) {}
            int sampleRate() const override { return 48000; }
            int bufferSize() const override { return 1024; }
            void listen(JackDevice& device) override { graph.device = &device; }
            bool activate() override { return true; }
            void deactivate() override {}
            QStringList playbackPorts(const QString& target) override {
                return graph.sink.filter(target + ':');
            }
            int connect(int channel, const QString& to) override {
                if (!graph.refuse)
                    graph.linked[channel] << to;
                return graph.refuse;
            }
            int connections(int channel) override { return int(graph.linked[channel].size()); }
            int playbackLatency(const QString&) override { return 0; }
        };
        return std::make_unique<JackDevice>(std::make_unique<Client>(*this), u"Null Sink"_s);
    }
};

// A JACK output is lost when every connection of its ports goes (the sink left the graph),
// and comes back connected to the ports of the same names, tried again as soon as they are
// registered; one that reaches no playback port is not restored.
TEST(JackOutput, ASinkThatLeavesIsALossAndItsReturnIsReconnected) {
    FakeGraph graph;
    SupervisedOutput* told = nullptr;
    JackWait wait([&told] { told->tryAgainSoon(); });
    auto owned = std::make_unique<SupervisedOutput>(
        graph.open(), std::make_unique<NullDevice>(48000, 1024), [&](QString* error) {
            wait.release();
            return wait.take(graph.open(), error);
        });
    SupervisedOutput& output = *owned;
    told = &output;
    AudioEngine engine(std::move(owned));
    EXPECT_EQ(output.latencyFrames(), 1024); // never less than a period
    graph.tick(output);
    graph.linked[1].clear(); // one port left connected: still heard
    graph.device->graphChanged();
    graph.tick(output);
    graph.tick(output);
    ASSERT_FALSE(output.isLost());

    graph.removeSink();
    graph.tick(output);
    ASSERT_TRUE(output.isLost());
    attempt(output);
    EXPECT_TRUE(output.isLost());
    // A coarse timer's shot may come 5 % late.
    ASSERT_GT(output.retryTimer().remainingTime(), 2 * SupervisedOutput::kSoonMs);
    graph.refuse = EINVAL;
    graph.addSink();
    EXPECT_LT(output.retryTimer().remainingTime(), 2 * SupervisedOutput::kSoonMs);
    attempt(output);
    EXPECT_TRUE(output.isLost());
    graph.refuse = 0;
    attempt(output);
    ASSERT_FALSE(output.isLost());
    EXPECT_EQ(QList(graph.linked, graph.linked + 2),
              QList<QStringList>({{graph.kPorts[0]}, {graph.kPorts[1]}}));
}

} // namespace
