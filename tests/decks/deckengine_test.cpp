#include "deckrig.h"

#include <QSignalSpy>

using Signals = QList<QList<QVariant>>;

TEST(DeckFormat, TimeText) {
    // Rounded half to even, hours unpadded; a negative time shows as nothing left.
    const std::pair<qint64, const char*> times[] = {
        {-1, "0:00:00"},   {500, "0:00:00"},   {501, "0:00:01"},     {1500, "0:00:02"},
        {2500, "0:00:02"}, {59500, "0:01:00"}, {3725000, "1:02:05"}, {36000000, "10:00:00"}};
    for (const auto& [ms, text] : times)
        EXPECT_EQ(FormatDeckTime(ms).toStdString(), text) << ms;
}

using DeckTable = DeckRig;

TEST_F(DeckTable, LoadAndClear) {
    cart("Station ID.wav", 2500);
    QSignalSpy repaint(&engine, &DeckEngine::deckRepaintRequested);
    QSignalSpy label2(&engine, &DeckEngine::hiddenStatusChanged);
    // Loading leaves the preview closed and never touches the player.
    EXPECT_EQ(step("mode 3 Loop, load 3 Station ID.wav"),
              "3 Station ID yellow 0:00:02 Loop | deck 0 closed");
    EXPECT_EQ(preview.Mode(), MciDevice::kModeNotOpen);
    EXPECT_EQ(Signals(label2) + repaint, (Signals{{engine.FilePath(3)}, {3}}));
    // Clearing keeps the mode and the idle text.
    EXPECT_EQ(step("clear 3"), "3 - black 0:00:00 Loop | deck 0 closed");
    EXPECT_EQ(engine.IdleTimeText(3), "0:00:02");
    // Nothing selected: neither the key nor a cart-list drop loads anything.
    EXPECT_EQ(step("load 4, drop 4"), "3 - black 0:00:00 Loop | deck 0 closed");

    // A cart-list drop loads; a file named only by its extension has no caption (deck 2's
    // file, "<folder>/.wav", goes unshown). Folder and name are joined with one slash, and a
    // trailing slash still finds the file.
    cart(".wav", 1000);
    selection.fileName = ".wav";
    step("clear 3, mode 3 Norm, drop 2");
    for (const auto& [d, dir] : {std::pair{5, QString("/")}, {6, QString("/carts")}}) {
        selection.folder = dir;
        load(d, "ID.wav");
    }
    EXPECT_EQ(snapshot(), "2 - yellow 0:00:01, 5 ID yellow 0:00:00 [/ID.wav], 6 ID yellow 0:00:00 "
                          "[/carts/ID.wav] | deck 0 closed");
}

// A file not measured yet is measured off the UI thread: the deck stays as it was (<file>
// waits) while keys, the countdown and the end check run, even past its cart's end. A later
// load, empty, move or lock drops the waiting load; a file measured before loads at once.
TEST_F(DeckTable, ALoadWaitsForItsLengthAndIsDroppedWhenOvertaken) {
    put(1, "A.wav", 1000, 4000);
    put(2, "B.wav", 1500, 9000);
    for (const char* name : {"C.wav", "D.wav", "E.wav", "F.wav", "G.wav", "H.wav"})
        cart(name, 3000);
    EXPECT_EQ(step("hold, load 3 C.wav, fire 1, tick 20, status"),
              "1 A green 0:00:01, 2 B yellow 0:00:02, 3 - black 0:00:00 <C.wav> | deck 1 playing "
              "P D meter 12");
    EXPECT_EQ(step("fire 2, clear 2, load 2 D.wav, tick 200"),
              "1 A yellow 0:00:00, 2 - black 0:00:00 <D.wav>, 3 - black 0:00:00 <C.wav> | deck 2 "
              "stopped");
    EXPECT_EQ(step("measured"),
              "1 A yellow 0:00:00, 2 D yellow 0:00:03, 3 C yellow 0:00:03 | deck 2 stopped");
    EXPECT_EQ(step("hold, load 3 E.wav, load 3 F.wav, load 4 E.wav, clear 4, load 5 G.wav, "
                   "drag 1 5, load 2 H.wav, lock 2, measured"),
              "2 D yellow 0:00:03 lock grey, 3 F yellow 0:00:03, 5 A yellow 0:00:00 | deck 2 "
              "stopped");
    EXPECT_EQ(step("hold, load 4 E.wav"), "2 D yellow 0:00:03 lock grey, 3 F yellow 0:00:03, 4 E "
                                          "yellow 0:00:03, 5 A yellow 0:00:00 | deck 2 stopped");
}

// A cart too short to have a length loads, shows "0:00:00", never turns green, and the time
// display never divides by it.
TEST_F(DeckTable, ACartWithoutALengthNeverPlays) {
    put(8, "Click.wav", 0.42); // 20 frames: under half a millisecond
    engine.FireDeck(8);
    EXPECT_EQ(player.Length(), 0);
    for (int i = 0; i < 20; ++i)
        step("tick, status");
    EXPECT_EQ(snapshot(), "8 Click yellow 0:00:00 | deck 8 stopped");
    EXPECT_EQ(engine.ReportedErrorCount() + pump.calls, 0);
}

using DeckMove = DeckRig;

// A drop with no deck label pressed does nothing; modes and idle texts stay with the deck
// positions; two loaded decks swap; dropped on itself nothing changes. Nothing moves onto or
// off the playing deck, which is never interrupted; once stopped it moves like any other.
TEST_F(DeckMove, MoveSwapAndThePlayingDeck) {
    put(2, "ID.wav", 2500);
    cart("Weather.wav", 6500);
    const std::string start = snapshot();
    engine.DropOnDeck(7, DragProxy::DeckCart);
    engine.MoveCart(7);
    EXPECT_EQ(snapshot(), start);
    EXPECT_EQ(step("mode 2 Loop, mode 7 Seqnc, drag 2 7"),
              "2 - black 0:00:00 Loop, 7 ID yellow 0:00:02 Seqnc | deck 0 closed");
    EXPECT_EQ(std::tuple(engine.DragSourceDeck(), engine.IdleTimeText(2), engine.IdleTimeText(7)),
              std::tuple(2, QString("0:00:02"), QString()));
    EXPECT_EQ(step("mode 2 Norm, mode 7 Norm, load 2 Weather.wav, drag 2 7, drag 7 7"),
              "2 ID yellow 0:00:02, 7 Weather yellow 0:00:06 | deck 0 closed");

    put(4, "A.wav", 3000, 4000);
    const std::string playing = step("fire 4, tick 10");
    EXPECT_EQ(step("drag 4 7, drag 4 9, drag 7 4, drag 9 4"), playing);
    EXPECT_EQ(step("drag 2 7, tick 10"), "2 Weather yellow 0:00:06, 4 A green 0:00:03, 7 ID "
                                         "yellow 0:00:02 | deck 4 playing P D");
    EXPECT_EQ(heardRuns(), (Runs{{4000, 20 * kTick}}));
    // The next notification writes the idle text of the position into its time label: the
    // length of the cart that left it.
    EXPECT_EQ(step("stop, drag 4 9, status"), "2 Weather yellow 0:00:06, 4 - black 0:00:03, 7 ID "
                                              "yellow 0:00:02, 9 A yellow 0:00:03 | deck 4 "
                                              "stopped F11");
}

TEST_F(DeckMove, TheLockRefusesLoadClearAndMoveButNotPlayOrMode) {
    QSignalSpy changed(&engine, &DeckEngine::deckChanged);
    EXPECT_EQ(step("lock 5"), " | deck 0 closed"); // an empty deck cannot be locked
    EXPECT_TRUE(engine.LockedPath(5).isEmpty() && changed.isEmpty());

    put(5, "ID.wav", 300, 4000);
    put(6, "Other.wav", 300, 9000);
    const std::string locked =
        "5 ID yellow 0:00:00 lock grey, 6 Other yellow 0:00:00 | deck 0 closed";
    EXPECT_EQ(step("lock 5"), locked);
    EXPECT_EQ(engine.LockedPath(5), engine.FilePath(5));
    EXPECT_EQ(step("load 5 Other.wav, drop 5, clear 5, drag 5 6, drag 6 5, drag 5 9"), locked);

    // Firing, stopping and the mode cycle work as usual.
    EXPECT_EQ(step("cycle 5, cycle 5, fire 5, tick"),
              "5 ID green 0:00:00 Loop lock grey, 6 Other yellow 0:00:00 | deck 5 playing P D");
    EXPECT_EQ(step("fire 5"),
              "5 ID yellow 0:00:00 Loop lock grey, 6 Other yellow 0:00:00 | deck 5 stopped P F11");

    // Unlocked, the same operations work.
    EXPECT_EQ(step("mode 5 Norm, lock 5, drag 5 6"),
              "5 Other yellow 0:00:00, 6 ID yellow 0:00:00 | deck 5 stopped P F11");
    EXPECT_EQ(step("clear 5"), "6 ID yellow 0:00:00 | deck 5 stopped P F11");
    EXPECT_TRUE(engine.LockedPath(5).isEmpty());
}
