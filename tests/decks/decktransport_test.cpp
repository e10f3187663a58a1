#include "deckrig.h"

#include <QDir>
#include <QSignalSpy>
#include <array>

// Deck transport, play modes and the time display; a tick is 10 ms, then the end check.
using DeckTransport = DeckRig;

// One deck before any start, fired, played out, stopped by its own key and restarted, then
// cut off by another deck, and what the window is told on the way.
TEST_F(DeckTransport, TheTimeLabelStoryOfOneDeck) {
    put(3, "Story.wav", 2305, 4000);
    cart("Other.wav", 5000, 3000);
    QSignalSpy changed(&engine, &DeckEngine::deckChanged);
    // Notifications and F11 before any start, and an empty deck fired, change nothing.
    EXPECT_EQ(step("status, tick 3, fire 5, stop, status"),
              "3 Story yellow 0:00:02 | deck 0 closed F11");
    EXPECT_EQ(changed.count(), 0);

    // Fired (which clears the operator's stop): the length on yellow until the next check,
    // the countdown from the next notification; checks that paint it green again are no news.
    EXPECT_EQ(step("fire 3"), "3 Story yellow 0:00:02 | deck 3 playing");
    EXPECT_EQ(step("tick"), "3 Story green 0:00:02 | deck 3 playing P D");
    changed.clear();
    QSignalSpy meter(&engine, &DeckEngine::timeMeterChanged);
    QSignalSpy repaint(&engine, &DeckEngine::deckRepaintRequested);
    step("tick 99"); // 1 000 ms heard
    EXPECT_EQ(changed.count() + meter.count(), 0);
    // 1 305 ms left; the second notification shows nothing new, nor does firing empty decks.
    EXPECT_EQ(step("status, status, fire 4, fire 9"),
              "3 Story green 0:00:01 | deck 3 playing P D meter 26.0304");
    EXPECT_EQ(std::tuple(changed.count(), meter.count(), pump.calls), std::tuple(1, 1, 2));
    EXPECT_EQ(repaint, (QList<QList<QVariant>>(2, {3})));

    // Played to the end: "0:00:00" on yellow, then the length at the next notification,
    // which runs no pending events.
    EXPECT_EQ(tickUntilStopped(), 131); // it ends 5 ms into the 131st tick
    EXPECT_EQ(snapshot(), "3 Story yellow 0:00:00 | deck 3 stopped");
    EXPECT_EQ(step("status"), "3 Story yellow 0:00:02 | deck 3 stopped");
    EXPECT_EQ(pump.calls, 2);

    // Its own key stops it: yellow and at once the length again, for good; fired again it
    // plays from its first frame.
    step("fire 3, tick 50, status");
    EXPECT_EQ(step("fire 3"), "3 Story yellow 0:00:02 | deck 3 stopped P F11");
    EXPECT_EQ(step("tick 300, status"), "3 Story yellow 0:00:02 | deck 3 stopped F11");
    clearCapture();
    step("fire 3");
    tickUntilStopped();
    EXPECT_EQ(heardRuns().at(0), std::pair(4000, 2305 * kRate / 1000));

    // Cut off by firing another deck: at once "0:00:00" on yellow, and nothing writes the
    // length back; fired again, "0:00:00" becomes its idle text.
    step("status, load 4 Other.wav, fire 3, tick 20");
    EXPECT_EQ(step("fire 4"), "3 Story yellow 0:00:00, 4 Other yellow 0:00:05 | deck 4 playing P");
    EXPECT_EQ(step("tick 30, status"),
              "3 Story yellow 0:00:00, 4 Other green 0:00:05 | deck 4 playing P D meter 3.6");
    step("fire 3");
    EXPECT_EQ(engine.IdleTimeText(3), "0:00:00");
}

// An empty next deck ends a sequence too (see the re-arming table).
TEST_F(DeckTransport, SequenceWrapsAndEndsAtANormalDeck) {
    for (const int d : {9, 10, 1, 2})
        put(d, QString("%1.wav").arg(char('A' + d - 1)), 1605, qint16(1000 * d));
    step("mode 9 Seqnc, mode 10 Seqnc, fire 9");
    for (int i = 0; i < 600; ++i)
        step("tick, status");
    // Decks that handed on keep "0:00:00"; the last, still current, shows its length again.
    EXPECT_EQ(snapshot(), "1 A yellow 0:00:02, 2 B yellow 0:00:02, 9 I yellow 0:00:00 Seqnc, 10 J "
                          "yellow 0:00:00 Seqnc | deck 1 stopped");
    // Heard: the three carts whole, in order and back to back, then silence.
    const int frames = 1605 * kRate / 1000;
    EXPECT_EQ(
        heardRuns(),
        (Runs{{9000, frames}, {10000, frames}, {1000, frames}, {0, 600 * kTick - 3 * frames}}));
}

// A deck emptied while its cart plays shows no caption on green and counts on; when the
// cart ends the deck is emptied once more and a Sequence deck fires the next.
TEST_F(DeckTransport, ADeckClearedWhilePlayingPlaysOnToItsEnd) {
    cart("A.wav", 1505, 4000);
    put(8, "B.wav", 505, 9000);
    step("load 7 A.wav, mode 7 Seqnc, fire 7, tick 10");
    const std::string deck8 = ", 8 B yellow 0:00:01 | deck ";
    EXPECT_EQ(step("clear 7"), "7 - black 0:00:00 Seqnc" + deck8 + "7 playing P D");
    EXPECT_EQ(step("tick"), "7 - green 0:00:00 Seqnc" + deck8 + "7 playing P D");
    EXPECT_EQ(step("tick 19, status"), // 1 205 ms left
              "7 - green 0:00:01 Seqnc" + deck8 + "7 playing P D meter 11.9601");
    EXPECT_EQ(tickUntilStopped(7), 121);
    EXPECT_EQ(snapshot(), "7 - black 0:00:00 Seqnc" + deck8 + "8 playing");
}

// Keys and timer ticks that run while Time_Display lets pending events through.
TEST_F(DeckTransport, EventsInsideTheTimeDisplay) {
    put(1, "A.wav", 2000, 4000);
    put(2, "B.wav", 2000, 9000);
    for (const int d : {3, 4})
        put(d, QString("%1.wav").arg(char('A' + d - 1)), 305, qint16(1000 * d));
    step("mode 1 Seqnc, mode 2 Seqnc, mode 3 Seqnc, mode 4 Seqnc");
    const auto decks = [](const char* two, const char* four) {
        return QString("1 A yellow 0:00:00 Seqnc, 2 B %1 0:00:02 Seqnc, 3 C yellow 0:00:00 Seqnc, "
                       "4 %2 Seqnc | deck ")
            .arg(two, four)
            .toStdString();
    };

    // Another deck fired: deck 1's countdown is written, then the cut puts it to rest; the
    // notification's own check then sees deck 2 playing, so no false end.
    step("fire 1, tick 50");
    EXPECT_EQ(step("status during fire 2"), decks("green", "D yellow 0:00:00") + "2 playing P D");
    EXPECT_EQ(pump.calls, 1);
    EXPECT_EQ(step("tick 10"), decks("green", "D yellow 0:00:00") + "2 playing P D");

    // F11: deck 2 goes to rest and its sequence does not start.
    EXPECT_EQ(step("status during stop"), decks("yellow", "D yellow 0:00:00") + "2 stopped F11");
    EXPECT_EQ(step("tick 50"), decks("yellow", "D yellow 0:00:00") + "2 stopped F11");

    // A timer tick that plays the last 5 ms of deck 3: the cart ends once, deck 4 follows.
    step("fire 3, tick 30");
    EXPECT_EQ(step("status during tick"), decks("yellow", "D green 0:00:00") + "4 playing P D");
    EXPECT_EQ(step("tick 10"), decks("yellow", "D green 0:00:00") + "4 playing P D");
}

// A loaded deck holds its cart: deleted from disk, it still plays when fired, and its file
// is let go when the deck is emptied. A file replaced under the same name shows its length
// before the fire and plays; one replaced by junk is named on the status line at the fire.
TEST_F(DeckTransport, WhatWasLoadedPlaysAndAChangedFileIsTakenUpBeforeTheFire) {
    const auto goneHeldOpen = [] {
        for (const QFileInfo& fd : QDir("/proc/self/fd").entryInfoList(QDir::Files | QDir::System))
            if (fd.symLinkTarget().endsWith("Gone.wav (deleted)"))
                return true;
        return false;
    };
    put(1, "Gone.wav", 2000, 4000);
    put(2, "Jingle.wav", 2000, 3000);
    put(3, "Junk.wav", 2000, 2000);
    ASSERT_TRUE(QFile::remove(folder() + "/Gone.wav"));
    cart("Jingle.wav", 4000, 5000);
    Fixtures::file(folder(), "Junk.wav", "This is not a sound.\n");
    settle();
    EXPECT_EQ(snapshot(), "1 Gone yellow 0:00:02, 2 Jingle yellow 0:00:04, "
                          "3 Junk yellow 0:00:00 | deck 0 closed");

    for (const auto& [deck, level, ms] : {std::tuple{1, 4000, 2000}, {2, 5000, 4000}}) {
        clearCapture();
        step(QString("fire %1, tick").arg(deck));
        EXPECT_EQ(colour(engine.Controls(deck).deckColour), "green");
        tickUntilStopped();
        EXPECT_EQ(heardRuns().at(0), std::pair(level, ms * kRate / 1000));
    }
    EXPECT_EQ(engine.hiddenStatus(), ".WAV");

    // Junk: one line names the deck, the file and the reason; the deck never plays.
    QSignalSpy fired(&engine, &DeckEngine::fired);
    EXPECT_EQ(step("fire 3, tick 5"), "1 Gone yellow 0:00:00, 2 Jingle yellow 0:00:00, "
                                      "3 Junk yellow 0:00:00 | deck 3 closed");
    EXPECT_EQ(fired.takeFirst(), QVariantList({3, "Deck 3: Junk.wav: Not a sound file (Invalid "
                                                  "data found when processing input)"}));
    // The next fire plays; emptying the deck lets the deleted file go.
    step("fire 1, tick");
    EXPECT_EQ(fired.takeFirst(), QVariantList({1, QString()}));
    EXPECT_TRUE(goneHeldOpen());
    step("stop, clear 1, fire 2, tick, fire 3"); // a play is let go at the next fire
    EXPECT_FALSE(goneHeldOpen());
}

// What follows the playing cart is armed before its end and re-armed after every change
// that decides it: heard, without a silent frame, is the cart the end-of-cart check picks.
TEST_F(DeckTransport, TheFollowerIsReArmedAfterEveryChangeMidCart) {
    // Events before deck 1 (A) is fired, events while it plays, the levels heard from then.
    const std::vector<std::array<QString, 3>> table = {
        {"", "cycle 1", "1000 2000 0"},        // Norm -> Seqnc: B follows
        {"mode 1 Seqnc", "cycle 1", "1000"},   // Seqnc -> Loop: A again and again
        {"mode 1 Loop", "cycle 1", "1000 0"},  // Loop -> Norm: nothing
        {"mode 1 Seqnc", "clear 2", "1000 0"}, // the next deck emptied,
        {"mode 1 Seqnc", "clear 2, load 2 E.wav", "1000 5000 0"}, // and loaded again
        {"mode 1 Seqnc", "drag 3 2", "1000 3000 0"},              // B and C swapped
        {"mode 1 Seqnc", "drag 2 6", "1000 0"},                   // B moved away
        {"mode 1 Loop", "load 1 E.wav", "1000 5000"}, // the looping deck reloaded: A plays on
        {"mode 1 Loop", "clear 1", "1000 0"},         // or emptied
        {"mode 1 Seqnc", "load 2 Bad.wav", "1000 0"}, // a follower that cannot play
        {"mode 1 Loop", "stop", "1000 0"},
        {"mode 1 Seqnc, mode 3 Seqnc", "fire 3", "1000 3000 4000 0"},
        {"mode 1 Seqnc", "lock 2, clear 2", "1000 2000 0"},
    };
    for (int d = 1; d <= 5; ++d) // each ends in the middle of a tick
        cart(QString("%1.wav").arg(char('A' + d - 1)), 205, qint16(1000 * d));
    Fixtures::file(folder(), "Bad.wav", "RIFF not a wave");
    for (const auto& [before, during, heard] : table) {
        for (int deck = 1; deck <= 4; ++deck)
            load(deck, QString("%1.wav").arg(char('A' + deck - 1)));
        step("mode 1 Norm, mode 3 Norm, " + before + ", fire 1, tick 5");
        clearCapture();
        step("tick, " + during + ", tick 60");
        QStringList levels;
        for (const auto& [level, frames] : heardRuns())
            if (frames > 100 || level == 0) // a cut's ramp is shorter
                levels << QString::number(level);
        EXPECT_EQ(levels.join(' '), heard) << during.toStdString();
        step("stop, tick 30");
    }
}
