#include "deckrig.h"

#include <QSignalSpy>

// Deck transport, play modes and the time display, as sequences of events on the manual
// device. One tick is 10 ms of output followed by the end-of-cart check.

using DeckTransport = DeckRig;

namespace {
const QString kZero = QStringLiteral("0:00:00");

} // namespace

TEST_F(DeckTransport, TheTimeLabelStoryOfOneDeck) {
    cart(QStringLiteral("Story.wav"), 2305);
    cart(QStringLiteral("Other.wav"), 5000, 3000);
    QSignalSpy refresh(&engine, &DeckEngine::windowRefreshRequested);

    // 1. Loaded: the length.
    load(3, QStringLiteral("Story.wav"));
    EXPECT_EQ(engine.Controls(3).timeCaption, QStringLiteral("0:00:02"));

    // 2. Fired: still the length, still yellow, until the next check and notification.
    engine.FireDeck(3);
    EXPECT_EQ(engine.CurrentDeck(), 3);
    EXPECT_FALSE(engine.StoppedByOperator());
    EXPECT_EQ(engine.Label2(), QStringLiteral(".WAV"));
    EXPECT_EQ(engine.Controls(3).deckColour, DeckEngine::kYellow);
    EXPECT_EQ(engine.Controls(3).timeCaption, QStringLiteral("0:00:02"));
    EXPECT_FALSE(engine.DisplayLatch());
    EXPECT_FALSE(engine.PlayLatch());
    tick();
    EXPECT_EQ(engine.Controls(3).deckColour, DeckEngine::kBrightGreen);
    EXPECT_TRUE(engine.DisplayLatch());
    EXPECT_TRUE(engine.PlayLatch());
    EXPECT_EQ(engine.Controls(3).timeCaption, QStringLiteral("0:00:02"));
    tick(99); // 1 000 ms heard
    QSignalSpy repaint(&engine, &DeckEngine::deckRepaintRequested);
    statusUpdate();
    EXPECT_EQ(engine.Controls(3).timeCaption, QStringLiteral("0:00:01")); // 1 305 ms left
    EXPECT_FLOAT_EQ(engine.TimeMeterValue(), 1000.0f / 2305.0f * 60.0f);
    EXPECT_EQ(repaint.count(), 1);
    EXPECT_EQ(pump.calls, 1);

    // 3. Played to the end: "0:00:00" on yellow, then the length at the next notification.
    EXPECT_EQ(tickUntilStopped(), 131); // it ends 5 ms into the 131st tick
    EXPECT_EQ(engine.Controls(3).timeCaption, kZero);
    EXPECT_EQ(engine.Controls(3).deckColour, DeckEngine::kYellow);
    EXPECT_EQ(engine.TimeMeterValue(), 0.0f);
    EXPECT_EQ(refresh.count(), 1);
    EXPECT_FALSE(engine.DisplayLatch());
    EXPECT_FALSE(engine.PlayLatch());
    statusUpdate();
    EXPECT_EQ(engine.Controls(3).timeCaption, QStringLiteral("0:00:02"));
    EXPECT_EQ(engine.TimeMeterValue(), 0.0f);
    EXPECT_EQ(engine.CurrentDeck(), 3);
    EXPECT_EQ(pump.calls, 1); // nothing plays: no pending events are run

    // 4. Stopped by the operator: "0:00:00" and yellow, then at once the length again.
    engine.FireDeck(3);
    tick(50);
    statusUpdate();
    QStringList captions;
    QObject::connect(&engine, &DeckEngine::deckChanged, &engine, [&](int d) {
        if (d == 3 && (captions.isEmpty() || captions.last() != engine.Controls(3).timeCaption))
            captions.append(engine.Controls(3).timeCaption);
    });
    engine.StopCart();
    EXPECT_EQ(captions, (QStringList{kZero, QStringLiteral("0:00:02")}));
    EXPECT_EQ(engine.Controls(3).deckColour, DeckEngine::kYellow);
    EXPECT_EQ(engine.TimeMeterValue(), 0.0f);
    EXPECT_TRUE(engine.StoppedByOperator());
    tick(300);
    statusUpdate();
    EXPECT_EQ(engine.Controls(3).timeCaption, QStringLiteral("0:00:02"));
    EXPECT_EQ(engine.CurrentDeck(), 3);
    QObject::disconnect(&engine, &DeckEngine::deckChanged, &engine, nullptr);

    // 5. Cut off by firing another deck: "0:00:00" on yellow, and nothing writes the length
    // back; fired again later, "0:00:00" becomes its idle text.
    load(4, QStringLiteral("Other.wav"));
    engine.FireDeck(3);
    tick(20);
    engine.FireDeck(4);
    EXPECT_EQ(engine.CurrentDeck(), 4);
    EXPECT_EQ(engine.Controls(3).timeCaption, kZero);
    EXPECT_EQ(engine.Controls(3).deckColour, DeckEngine::kYellow);
    tick(30);
    statusUpdate();
    EXPECT_EQ(engine.Controls(4).deckColour, DeckEngine::kBrightGreen);
    EXPECT_EQ(engine.Controls(4).timeCaption, QStringLiteral("0:00:05")); // 4 700 ms left
    EXPECT_EQ(engine.Controls(3).timeCaption, kZero);
    engine.FireDeck(3);
    EXPECT_EQ(engine.IdleTimeText(3), kZero);
    tick(5);
    engine.StopCart();
    EXPECT_EQ(engine.Controls(3).timeCaption, kZero);
}

TEST_F(DeckTransport, MeterIsThirtyHalfwayAndZeroWhenStopped) {
    cart(QStringLiteral("Half.wav"), 2000);
    load(1, QStringLiteral("Half.wav"));
    engine.FireDeck(1);
    tick(100);
    statusUpdate();
    EXPECT_EQ(engine.TimeMeterValue(), 30.0f);
    EXPECT_EQ(engine.Controls(1).timeCaption, QStringLiteral("0:00:01"));
    engine.FireDeck(1); // its own key stops it
    EXPECT_EQ(engine.TimeMeterValue(), 0.0f);
    EXPECT_NE(player.Mode(), MciDevice::kModePlaying);
    EXPECT_EQ(engine.Controls(1).timeCaption, QStringLiteral("0:00:02"));
}

TEST_F(DeckTransport, NothingStartedNothingChanges) {
    cart(QStringLiteral("A.wav"), 500);
    load(2, QStringLiteral("A.wav"));
    const DeckScreen before = DeckScreen::of(engine);
    QSignalSpy changed(&engine, &DeckEngine::deckChanged);

    statusUpdate(); // notifications before any start
    tick(3);
    engine.FireDeck(5); // empty deck, nothing playing
    EXPECT_EQ(engine.CurrentDeck(), 0);
    engine.StopCart(); // F11 before any start
    EXPECT_TRUE(engine.StoppedByOperator());
    EXPECT_EQ(engine.CurrentDeck(), 0);
    statusUpdate();
    EXPECT_EQ(changed.count(), 0);
    EXPECT_TRUE(DeckScreen::of(engine) == before);
    EXPECT_EQ(engine.ReportedErrorCount(), 0);
    EXPECT_NE(player.Mode(), MciDevice::kModePlaying);

    // The first start clears the operator's stop.
    engine.FireDeck(2);
    EXPECT_FALSE(engine.StoppedByOperator());
    EXPECT_EQ(player.Mode(), MciDevice::kModePlaying);
}

TEST_F(DeckTransport, OwnKeyStopsAndRestartsFromTheBeginning) {
    cart(QStringLiteral("A.wav"), 1000, 4000);
    load(3, QStringLiteral("A.wav"));
    engine.SetDeckMode(3, QStringLiteral("Loop"));
    engine.FireDeck(3);
    tick(40);
    engine.FireDeck(3);
    EXPECT_EQ(player.Mode(), MciDevice::kModeStopped);
    tick(10);
    EXPECT_EQ(player.Mode(), MciDevice::kModeStopped); // a stopped Loop deck does not restart
    clearCapture();
    engine.FireDeck(3);
    EXPECT_EQ(player.Position(), 0);
    tick(100);
    // All of the cart from its first frame: 1 000 ms of A, then silence.
    const auto runs = heardRuns();
    ASSERT_GE(runs.size(), 1u);
    EXPECT_EQ(runs[0], std::make_pair(4000, 48000));
}

TEST_F(DeckTransport, FiringAnotherLoadedDeckCutsThePlayingOneAtOnce) {
    cart(QStringLiteral("A.wav"), 2000, 4000);
    cart(QStringLiteral("B.wav"), 2000, 9000);
    load(3, QStringLiteral("A.wav"));
    load(4, QStringLiteral("B.wav"));
    engine.FireDeck(3);
    tick(30);
    clearCapture();
    engine.FireDeck(4);
    EXPECT_EQ(engine.CurrentDeck(), 4);
    EXPECT_EQ(engine.Controls(3).timeCaption, kZero);
    EXPECT_EQ(engine.Controls(3).deckColour, DeckEngine::kYellow);
    EXPECT_TRUE(engine.PlayLatch()); // kept: the switch is not an end
    tick();
    EXPECT_EQ(engine.Controls(4).deckColour, DeckEngine::kBrightGreen);
    EXPECT_TRUE(engine.PlayLatch());
    // Nothing of A after the switch but its de-click ramp; B from the first period on.
    const auto levels = heardLevels();
    const int rampFrames = kRate * 5 / 1000;
    for (int i = rampFrames; i < int(levels.size()); ++i)
        ASSERT_EQ(levels[std::size_t(i)], 9000) << "frame " << i;
}

TEST_F(DeckTransport, FiringAnEmptyDeckWhileOnePlaysChangesNothing) {
    cart(QStringLiteral("A.wav"), 2000);
    load(3, QStringLiteral("A.wav"));
    engine.FireDeck(3);
    tick(5);
    const DeckScreen before = DeckScreen::of(engine);
    engine.FireDeck(4);
    engine.FireDeck(9);
    EXPECT_TRUE(DeckScreen::of(engine) == before);
    EXPECT_EQ(engine.CurrentDeck(), 3);
    EXPECT_TRUE(engine.IsPlaying(3));
}

// --- Sequence ---------------------------------------------------------------------------

TEST_F(DeckTransport, SequenceWrapsFromTenToOneAndEndsAtANormalDeck) {
    const std::pair<int, const char*> decks[] = {
        {9, "Seqnc"}, {10, "Seqnc"}, {1, "Norm"}, {2, "Seqnc"}};
    for (const auto& [deck, mode] : decks) {
        const QString name = QString::fromLatin1("Deck%1.wav").arg(deck);
        cart(name, 1605, qint16(1000 * deck));
        load(deck, name);
        engine.SetDeckMode(deck, QString::fromLatin1(mode));
    }

    engine.FireDeck(9);
    std::vector<int> started{engine.CurrentDeck()};
    for (int i = 0; i < 600; ++i) {
        tick();
        statusUpdate();
        if (started.back() != engine.CurrentDeck())
            started.push_back(engine.CurrentDeck());
    }
    EXPECT_EQ(started, (std::vector<int>{9, 10, 1}));
    EXPECT_NE(player.Mode(), MciDevice::kModePlaying);
    // Decks that played and handed on keep "0:00:00"; the last, still current, shows its
    // length again; the deck after it never played.
    EXPECT_EQ(engine.Controls(9).timeCaption, kZero);
    EXPECT_EQ(engine.Controls(10).timeCaption, kZero);
    EXPECT_EQ(engine.Controls(1).timeCaption, QStringLiteral("0:00:02"));
    EXPECT_EQ(engine.Controls(2).timeCaption, QStringLiteral("0:00:02"));
    for (const auto& [deck, mode] : decks)
        EXPECT_EQ(engine.Controls(deck).deckColour, DeckEngine::kYellow) << deck;

    // Heard: the three carts whole and in order, each gap shorter than one tick.
    const auto runs = heardRuns();
    std::vector<int> order;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        if (runs[i].first != 0) {
            order.push_back(runs[i].first);
            EXPECT_EQ(runs[i].second, 1605 * kRate / 1000) << runs[i].first;
        } else if (i + 1 < runs.size()) {
            EXPECT_LT(runs[i].second, kTickFrames);
        }
    }
    EXPECT_EQ(order, (std::vector<int>{9000, 10000, 1000}));
}

TEST_F(DeckTransport, SequenceStopsAtAnEmptyDeckWithoutSkippingIt) {
    cart(QStringLiteral("A.wav"), 205);
    cart(QStringLiteral("B.wav"), 205);
    load(2, QStringLiteral("A.wav"));
    load(4, QStringLiteral("B.wav"));
    engine.SetDeckMode(2, QStringLiteral("Seqnc"));
    engine.FireDeck(2);
    EXPECT_EQ(tickUntilStopped(), 21);
    tick(50);
    EXPECT_EQ(engine.CurrentDeck(), 2);
    EXPECT_NE(player.Mode(), MciDevice::kModePlaying);
    EXPECT_EQ(engine.Controls(4).deckColour, DeckEngine::kYellow);
    EXPECT_FALSE(engine.PlayLatch());
}

TEST_F(DeckTransport, AStoppedCartNeverTriggersItsMode) {
    cart(QStringLiteral("A.wav"), 500);
    cart(QStringLiteral("B.wav"), 500);
    load(5, QStringLiteral("A.wav"));
    load(6, QStringLiteral("B.wav"));
    engine.SetDeckMode(5, QStringLiteral("Seqnc"));
    engine.FireDeck(5);
    tick(10);
    engine.StopCart();
    for (int i = 0; i < 100; ++i) {
        tick();
        statusUpdate();
    }
    EXPECT_EQ(engine.CurrentDeck(), 5);
    EXPECT_FALSE(engine.PlayLatch());
    EXPECT_EQ(player.Mode(), MciDevice::kModeStopped);
}

TEST_F(DeckTransport, ASequenceDeckClearedWhilePlayingPlaysOnThenFiresTheNext) {
    cart(QStringLiteral("A.wav"), 1505, 4000);
    cart(QStringLiteral("B.wav"), 505, 9000);
    load(7, QStringLiteral("A.wav"));
    load(8, QStringLiteral("B.wav"));
    engine.SetDeckMode(7, QStringLiteral("Seqnc"));
    engine.FireDeck(7);
    tick(10);
    engine.ClearDeck(7);
    EXPECT_EQ(engine.Controls(7).deckColour, DeckEngine::kBlack);
    tick();
    // The state refresh goes on painting the captionless playing deck green.
    EXPECT_EQ(engine.Controls(7).deckCaption, QString());
    EXPECT_EQ(engine.Controls(7).deckColour, DeckEngine::kBrightGreen);
    tick(19);
    statusUpdate();
    EXPECT_EQ(engine.Controls(7).timeCaption, QStringLiteral("0:00:01")); // 1 205 ms left
    EXPECT_TRUE(engine.IsPlaying(7));

    int ticks = 0;
    while (engine.CurrentDeck() == 7 && ticks < 1000) {
        tick();
        ++ticks;
    }
    EXPECT_EQ(ticks, 121);
    // The cart ended: deck 7 emptied once more, deck 8 fired.
    EXPECT_EQ(engine.CurrentDeck(), 8);
    EXPECT_EQ(engine.Controls(7).deckColour, DeckEngine::kBlack);
    EXPECT_EQ(engine.Controls(7).timeCaption, kZero);
    EXPECT_TRUE(engine.IsPlaying(8));
}

// --- Loop -------------------------------------------------------------------------------

namespace {
// Counts how often the player went back to the beginning of a cart while ticking.
int passesWhileTicking(DeckRig& rig, int ticks) {
    int passes = 0;
    qint32 last = rig.player.Position();
    for (int i = 0; i < ticks; ++i) {
        rig.tick();
        const qint32 now = rig.player.Position();
        if (now < last)
            ++passes;
        last = now;
    }
    return passes;
}
} // namespace

TEST_F(DeckTransport, LoopPlaysOverAndOverUntilF11) {
    cart(QStringLiteral("Bed.wav"), 205); // ends in the middle of a tick
    load(1, QStringLiteral("Bed.wav"));
    engine.SetDeckMode(1, QStringLiteral("Loop"));
    engine.FireDeck(1);
    EXPECT_EQ(passesWhileTicking(*this, 105), 5);
    EXPECT_EQ(engine.CurrentDeck(), 1);
    EXPECT_TRUE(engine.IsPlaying(1));
    EXPECT_EQ(engine.IdleTimeText(1), kZero); // taken from its label when it restarted
    engine.StopCart();
    EXPECT_EQ(engine.Controls(1).timeCaption, kZero);
    EXPECT_EQ(passesWhileTicking(*this, 50), 0);
    EXPECT_EQ(player.Mode(), MciDevice::kModeStopped);

    // Heard: the loop's passes back to back, with a gap shorter than one tick.
    const auto runs = heardRuns();
    for (std::size_t i = 1; i + 1 < runs.size(); ++i) {
        if (runs[i].first == 0) {
            EXPECT_LT(runs[i].second, kTickFrames);
        }
    }
}

TEST_F(DeckTransport, LoopEndsWhenAnotherDeckIsFired) {
    cart(QStringLiteral("Bed.wav"), 205, 4000);
    cart(QStringLiteral("Spot.wav"), 305, 9000);
    load(1, QStringLiteral("Bed.wav"));
    load(2, QStringLiteral("Spot.wav"));
    engine.SetDeckMode(1, QStringLiteral("Loop"));
    engine.FireDeck(1);
    EXPECT_EQ(passesWhileTicking(*this, 45), 2);
    engine.FireDeck(2);
    EXPECT_EQ(engine.Controls(1).timeCaption, kZero);
    EXPECT_EQ(engine.Controls(1).deckColour, DeckEngine::kYellow);
    tickUntilStopped();
    tick(50);
    EXPECT_EQ(engine.CurrentDeck(), 2);
    EXPECT_NE(player.Mode(), MciDevice::kModePlaying);
    EXPECT_EQ(heardLevels().back(), 0);
}

TEST_F(DeckTransport, LoopEndsAtTheEndOfThePassAfterItsModeChanges) {
    cart(QStringLiteral("Bed.wav"), 205);
    load(1, QStringLiteral("Bed.wav"));
    engine.SetDeckMode(1, QStringLiteral("Loop"));
    engine.FireDeck(1);
    EXPECT_EQ(passesWhileTicking(*this, 25), 1);
    engine.CyclePlayMode(1); // Loop -> Norm
    EXPECT_EQ(engine.Controls(1).modeCaption, QStringLiteral("Norm"));
    EXPECT_TRUE(engine.IsPlaying(1)); // the pass goes on
    EXPECT_EQ(tickUntilStopped(), 17);
    EXPECT_EQ(passesWhileTicking(*this, 50), 0);
    EXPECT_EQ(engine.CurrentDeck(), 1);
}

TEST_F(DeckTransport, ALoopDeckClearedWhilePlayingDoesNotRestart) {
    cart(QStringLiteral("Bed.wav"), 1505);
    load(1, QStringLiteral("Bed.wav"));
    engine.SetDeckMode(1, QStringLiteral("Loop"));
    engine.FireDeck(1);
    tick(5);
    engine.ClearDeck(1);
    EXPECT_EQ(tickUntilStopped(), 146);
    EXPECT_EQ(passesWhileTicking(*this, 50), 0);
    EXPECT_EQ(engine.Controls(1).deckColour, DeckEngine::kBlack);
    EXPECT_EQ(engine.Controls(1).timeCaption, kZero);
    statusUpdate(); // the idle text of the deck position comes back
    EXPECT_EQ(engine.Controls(1).timeCaption, QStringLiteral("0:00:02"));
    engine.FireDeck(1); // empty: nothing
    EXPECT_NE(player.Mode(), MciDevice::kModePlaying);
}

// --- Re-entry while the time display runs pending events --------------------------------

TEST_F(DeckTransport, FiringAnotherDeckFromInsideTheTimeDisplay) {
    cart(QStringLiteral("A.wav"), 2000, 4000);
    cart(QStringLiteral("B.wav"), 2000, 9000);
    load(1, QStringLiteral("A.wav"));
    load(2, QStringLiteral("B.wav"));
    engine.SetDeckMode(1, QStringLiteral("Seqnc"));
    engine.FireDeck(1);
    tick(50);
    pump.action = [this] {
        engine.FireDeck(2);
    };
    statusUpdate();
    EXPECT_EQ(pump.calls, 1);
    EXPECT_EQ(engine.CurrentDeck(), 2);
    // Deck 1's countdown was written, then the cut put it to rest.
    EXPECT_EQ(engine.Controls(1).timeCaption, kZero);
    EXPECT_EQ(engine.Controls(1).deckColour, DeckEngine::kYellow);
    // The notification's own check then sees deck 2 playing: no false end.
    EXPECT_EQ(engine.Controls(2).deckColour, DeckEngine::kBrightGreen);
    EXPECT_TRUE(engine.PlayLatch());
    EXPECT_TRUE(engine.DisplayLatch());
    tick(10);
    EXPECT_EQ(engine.CurrentDeck(), 2);
    EXPECT_TRUE(engine.IsPlaying(2));
}

TEST_F(DeckTransport, StoppingFromInsideTheTimeDisplay) {
    cart(QStringLiteral("A.wav"), 2000);
    cart(QStringLiteral("B.wav"), 2000);
    load(1, QStringLiteral("A.wav"));
    load(2, QStringLiteral("B.wav"));
    engine.SetDeckMode(1, QStringLiteral("Seqnc"));
    engine.FireDeck(1);
    tick(50);
    pump.action = [this] {
        engine.StopCart();
    };
    statusUpdate();
    EXPECT_EQ(player.Mode(), MciDevice::kModeStopped);
    EXPECT_EQ(engine.Controls(1).timeCaption, QStringLiteral("0:00:02"));
    EXPECT_EQ(engine.Controls(1).deckColour, DeckEngine::kYellow);
    EXPECT_EQ(engine.TimeMeterValue(), 0.0f);
    EXPECT_FALSE(engine.PlayLatch());
    tick(50);
    EXPECT_EQ(engine.CurrentDeck(), 1); // the stop did not start the sequence
}

TEST_F(DeckTransport, ATimerTickInsideTheTimeDisplayEndsTheCartOnce) {
    cart(QStringLiteral("A.wav"), 305, 1000);
    cart(QStringLiteral("B.wav"), 305, 2000);
    cart(QStringLiteral("C.wav"), 305, 3000);
    const QString names[] = {QStringLiteral("A.wav"), QStringLiteral("B.wav"),
                             QStringLiteral("C.wav")};
    for (int deck = 1; deck <= 3; ++deck) {
        load(deck, names[deck - 1]);
        engine.SetDeckMode(deck, QStringLiteral("Seqnc"));
    }
    engine.FireDeck(1);
    tick(30);
    // The last 5 ms of A play and the timer fires while the notification runs events.
    pump.action = [this] {
        tick();
    };
    statusUpdate();
    EXPECT_EQ(engine.CurrentDeck(), 2);
    EXPECT_TRUE(engine.IsPlaying(2));
    EXPECT_EQ(engine.Controls(2).deckColour, DeckEngine::kBrightGreen);
    EXPECT_EQ(engine.Controls(1).timeCaption, kZero);
    EXPECT_EQ(engine.Controls(3).deckColour, DeckEngine::kYellow);
    tick(10);
    EXPECT_EQ(engine.CurrentDeck(), 2);
}

TEST_F(DeckTransport, ClearingThePlayingDeckFromInsideTheTimeDisplay) {
    cart(QStringLiteral("A.wav"), 405);
    load(4, QStringLiteral("A.wav"));
    engine.FireDeck(4);
    tick(10);
    pump.action = [this] {
        engine.ClearDeck(4);
    };
    statusUpdate();
    EXPECT_EQ(engine.Controls(4).deckCaption, QString());
    EXPECT_EQ(engine.Controls(4).deckColour, DeckEngine::kBrightGreen);
    EXPECT_EQ(tickUntilStopped(), 31);
    EXPECT_EQ(engine.Controls(4).deckColour, DeckEngine::kBlack);
    EXPECT_EQ(engine.Controls(4).timeCaption, kZero);
}

// --- What the window is told ------------------------------------------------------------

TEST_F(DeckTransport, APlayingCartChangesItsRowOnlyWhenSomethingShows) {
    cart(QStringLiteral("A.wav"), 3000);
    load(1, QStringLiteral("A.wav"));
    engine.FireDeck(1);
    tick();
    QSignalSpy changed(&engine, &DeckEngine::deckChanged);
    QSignalSpy meter(&engine, &DeckEngine::timeMeterChanged);
    tick(100); // the checks paint green again and again: no news for the window
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(meter.count(), 0);
    statusUpdate();
    EXPECT_EQ(changed.count(), 1); // 1 990 ms left: "0:00:03" -> "0:00:02"
    EXPECT_EQ(meter.count(), 1);
    statusUpdate();
    EXPECT_EQ(changed.count(), 1);
}
