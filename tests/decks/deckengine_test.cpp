#include "deckrig.h"

#include <QSignalSpy>

// --- The deck time text and the device type rule ----------------------------------------

TEST(DeckFormat, DeckTimeRoundsHalfToEvenWithUnpaddedHours) {
    const std::pair<qint64, const char*> cases[] = {
        {0, "0:00:00"},         {499, "0:00:00"},          {500, "0:00:00"},
        {501, "0:00:01"},       {1500, "0:00:02"},         {2500, "0:00:02"},
        {3500, "0:00:04"},      {59500, "0:01:00"},        {65000, "0:01:05"},
        {3599600, "1:00:00"},   {3725000, "1:02:05"},      {3720000, "1:02:00"},
        {36000000, "10:00:00"}, {2147483647, "596:31:24"},
    };
    for (const auto& [ms, text] : cases)
        EXPECT_EQ(FormatDeckTime(ms), QString::fromLatin1(text)) << ms;
}

TEST(DeckFormat, NegativeTimeShowsNothingLeft) {
    EXPECT_EQ(FormatDeckTime(-1), QStringLiteral("0:00:00"));
    EXPECT_EQ(FormatDeckTime(-3725000), QStringLiteral("0:00:00"));
}

TEST(DeckFormat, DeviceTypeByTheLastFourCharacters) {
    for (const char* name : {"jingle.mpeg", "spot.Mp3", "news.MPG", "/carts/x.mpg", "MPEG"})
        EXPECT_EQ(DeviceTypeFor(QString::fromLatin1(name)), QStringLiteral("MPEGVideo")) << name;
    for (const char* name : {"bed.wav", "x.aiff", "mp3", "", "a.mp2", "/carts/mpg"})
        EXPECT_EQ(DeviceTypeFor(QString::fromLatin1(name)), QStringLiteral("WaveAudio")) << name;
}

// --- Start-up, modes and the labels -----------------------------------------------------

using DeckTable = DeckRig;

TEST_F(DeckTable, StartUpModesThenBlankLabels) {
    DeckEngine engine(player, preview, selection, pump); // before the window's load
    for (int deck = 1; deck <= 10; ++deck) {
        EXPECT_EQ(engine.Controls(deck).deckCaption, QStringLiteral("Label2"));
        EXPECT_EQ(engine.Controls(deck).timeCaption, QStringLiteral("0:00:00"));
    }
    engine.SetDeckMode(1, QStringLiteral("Norm"));
    engine.SetDeckMode(2, QStringLiteral("Seqnc"));
    engine.SetDeckMode(3, QStringLiteral("Loop"));
    engine.SetDeckMode(4, QStringLiteral("Sequence")); // not a mode word: Normal
    engine.ClearDeckLabels();

    const std::pair<const char*, DeckEngine::Colour> modes[] = {
        {"Norm", DeckEngine::kYellow},
        {"Seqnc", DeckEngine::kCyan},
        {"Loop", DeckEngine::kRed},
        {"Norm", DeckEngine::kYellow},
    };
    for (int deck = 1; deck <= 4; ++deck) {
        EXPECT_EQ(engine.ModeWord(deck), QString::fromLatin1(modes[deck - 1].first));
        EXPECT_EQ(engine.Controls(deck).modeCaption, engine.ModeWord(deck));
        EXPECT_EQ(engine.Controls(deck).modeColour, modes[deck - 1].second);
    }
    for (int deck = 1; deck <= 10; ++deck) {
        EXPECT_EQ(engine.Controls(deck).deckCaption, QString());
        EXPECT_EQ(engine.Controls(deck).deckColour, DeckEngine::kBlack);
        EXPECT_EQ(engine.FilePath(deck), QString());
        EXPECT_EQ(engine.Controls(deck).lockColour, DeckEngine::kYellow);
    }
    EXPECT_EQ(engine.CurrentDeck(), 0);
    EXPECT_FALSE(engine.PlayLatch());
    EXPECT_FALSE(engine.DisplayLatch());
}

TEST_F(DeckTable, PlayModeClicksCycleNormSeqncLoop) {
    DeckEngine fresh(player, preview, selection, pump);
    fresh.CyclePlayMode(6); // no word yet
    EXPECT_EQ(fresh.ModeWord(6), QStringLiteral("Norm"));
    EXPECT_EQ(fresh.Controls(6).modeColour, DeckEngine::kYellow);

    QSignalSpy changed(&engine, &DeckEngine::deckChanged);
    const std::pair<const char*, DeckEngine::Colour> cycle[] = {
        {"Seqnc", DeckEngine::kCyan},
        {"Loop", DeckEngine::kRed},
        {"Norm", DeckEngine::kYellow},
    };
    for (const auto& [word, colour] : cycle) {
        engine.CyclePlayMode(6);
        EXPECT_EQ(engine.ModeWord(6), QString::fromLatin1(word));
        EXPECT_EQ(engine.Controls(6).modeCaption, QString::fromLatin1(word));
        EXPECT_EQ(engine.Controls(6).modeColour, colour);
    }
    EXPECT_EQ(changed.count(), 3);
    for (const auto& args : changed)
        EXPECT_EQ(args.at(0).toInt(), 6);
}

TEST_F(DeckTable, DeckNumbersOutsideOneToTenChangeNothing) {
    cart(QStringLiteral("ID.wav"), 300);
    load(1, QStringLiteral("ID.wav"));
    engine.FireDeck(1);
    tick();
    const DeckScreen before = DeckScreen::of(engine);
    QSignalSpy changed(&engine, &DeckEngine::deckChanged);

    for (const int deck : {0, -1, 11, 32767, -32768}) {
        engine.LoadCart(deck);
        engine.ClearDeck(deck);
        engine.SetDeckMode(deck, QStringLiteral("Loop"));
        engine.FireDeck(deck);
        engine.StartDeckPlayback(deck);
        engine.CyclePlayMode(deck);
        engine.ResetTimeDisplay(deck);
        engine.ToggleDeckLock(deck);
        engine.BeginDeckDrag(deck);
        engine.DropOnDeck(deck, DragProxy::Label1);
        engine.DropOnDeck(deck, DragProxy::Label42);
        EXPECT_EQ(engine.FilePath(deck), QString());
        EXPECT_EQ(engine.IdleTimeText(deck), QString());
        EXPECT_EQ(engine.LockedPath(deck), QString());
        EXPECT_EQ(engine.ModeWord(deck), QString());
        EXPECT_FALSE(engine.IsPlaying(deck));
    }
    EXPECT_EQ(changed.count(), 0);
    EXPECT_TRUE(DeckScreen::of(engine) == before);
    EXPECT_EQ(engine.CurrentDeck(), 1);
    EXPECT_EQ(engine.DragSourceDeck(), 0);
    EXPECT_TRUE(engine.IsPlaying(1));
}

// --- Loading and clearing ---------------------------------------------------------------

TEST_F(DeckTable, LoadShowsNameLengthAndYellowAndLeavesThePreviewClosed) {
    cart(QStringLiteral("Station ID.wav"), 2500);
    QSignalSpy repaint(&engine, &DeckEngine::deckRepaintRequested);
    QSignalSpy label2(&engine, &DeckEngine::label2Changed);
    load(3, QStringLiteral("Station ID.wav"));

    EXPECT_EQ(engine.Controls(3).deckCaption, QStringLiteral("Station ID"));
    EXPECT_EQ(engine.Controls(3).deckColour, DeckEngine::kYellow);
    EXPECT_EQ(engine.Controls(3).timeCaption, QStringLiteral("0:00:02"));
    EXPECT_EQ(engine.IdleTimeText(3), QStringLiteral("0:00:02"));
    EXPECT_EQ(engine.FilePath(3), path(QStringLiteral("Station ID.wav")));
    EXPECT_EQ(engine.Label2(), path(QStringLiteral("Station ID.wav")));
    EXPECT_EQ(label2.count(), 1);
    ASSERT_EQ(repaint.count(), 1);
    EXPECT_EQ(repaint.at(0).at(0).toInt(), 3);
    EXPECT_EQ(preview.Mode(), MciDevice::kModeNotOpen);
    EXPECT_EQ(player.Mode(), MciDevice::kModeNotOpen); // loading never touches the player
    EXPECT_EQ(engine.CurrentDeck(), 0);
}

TEST_F(DeckTable, LoadJoinsFolderAndNameWithOneSlash) {
    selection.folder = QStringLiteral("/");
    load(1, QStringLiteral("ID.wav"));
    EXPECT_EQ(engine.FilePath(1), QStringLiteral("/ID.wav"));
    selection.folder = QStringLiteral("/carts");
    load(2, QStringLiteral("ID.wav"));
    EXPECT_EQ(engine.FilePath(2), QStringLiteral("/carts/ID.wav"));
    for (const int deck : {1, 2})
        EXPECT_EQ(engine.Controls(deck).deckCaption, QStringLiteral("ID"));

    // A folder given with its trailing slash still finds and measures the file.
    cart(QStringLiteral("Bed.wav"), 4000);
    selection.folder = folder() + QLatin1Char('/');
    load(3, QStringLiteral("Bed.wav"));
    EXPECT_EQ(engine.FilePath(3), path(QStringLiteral("Bed.wav")));
    EXPECT_EQ(engine.Controls(3).timeCaption, QStringLiteral("0:00:04"));
}

TEST_F(DeckTable, NothingSelectedLoadsNothing) {
    const DeckScreen before = DeckScreen::of(engine);
    load(4, QString());
    EXPECT_TRUE(DeckScreen::of(engine) == before);
    EXPECT_EQ(engine.FilePath(4), QString());
    engine.DropOnDeck(4, DragProxy::Label42);
    EXPECT_TRUE(DeckScreen::of(engine) == before);
}

TEST_F(DeckTable, AFileThatCannotBeOpenedLoadsWithLengthZeroAndNeverTurnsGreen) {
    Fixtures::file(folder(), QStringLiteral("Notes.wav"), "this is not audio\n");
    load(5, QStringLiteral("Notes.wav"));
    EXPECT_EQ(engine.Controls(5).deckCaption, QStringLiteral("Notes"));
    EXPECT_EQ(engine.Controls(5).deckColour, DeckEngine::kYellow);
    EXPECT_EQ(engine.Controls(5).timeCaption, QStringLiteral("0:00:00"));

    engine.FireDeck(5);
    EXPECT_EQ(engine.CurrentDeck(), 5);
    EXPECT_NE(player.Mode(), MciDevice::kModePlaying);
    for (int i = 0; i < 20; ++i) {
        tick();
        statusUpdate();
    }
    EXPECT_EQ(engine.Controls(5).deckColour, DeckEngine::kYellow);
    EXPECT_EQ(engine.Controls(5).timeCaption, QStringLiteral("0:00:00"));
    EXPECT_FALSE(engine.DisplayLatch());
    EXPECT_FALSE(engine.PlayLatch());
    EXPECT_EQ(engine.ReportedErrorCount(), 0);
    EXPECT_EQ(pump.calls, 0);
    // Firing it again tries again and stays quiet.
    engine.FireDeck(5);
    tick();
    EXPECT_EQ(engine.Controls(5).deckColour, DeckEngine::kYellow);
}

TEST_F(DeckTable, AFileNamedOnlyByItsExtensionGivesAnEmptyCaption) {
    cart(QStringLiteral(".wav"), 1000);
    load(2, QStringLiteral(".wav"));
    EXPECT_EQ(engine.Controls(2).deckCaption, QString());
    EXPECT_EQ(engine.Controls(2).deckColour, DeckEngine::kYellow);
    EXPECT_EQ(engine.FilePath(2), path(QStringLiteral(".wav")));
    EXPECT_EQ(engine.Controls(2).timeCaption, QStringLiteral("0:00:01"));
}

TEST_F(DeckTable, ClearEmptiesTheDeckButKeepsModeIdleTextAndLock) {
    cart(QStringLiteral("News.wav"), 3500);
    engine.SetDeckMode(7, QStringLiteral("Loop"));
    load(7, QStringLiteral("News.wav"));
    engine.ClearDeck(7);
    EXPECT_EQ(engine.Controls(7).deckCaption, QString());
    EXPECT_EQ(engine.Controls(7).deckColour, DeckEngine::kBlack);
    EXPECT_EQ(engine.Controls(7).timeCaption, QStringLiteral("0:00:00"));
    EXPECT_EQ(engine.FilePath(7), QString());
    EXPECT_EQ(engine.IdleTimeText(7), QStringLiteral("0:00:04"));
    EXPECT_EQ(engine.ModeWord(7), QStringLiteral("Loop"));
    EXPECT_EQ(engine.Controls(7).modeColour, DeckEngine::kRed);
}

TEST_F(DeckTable, LoadingWhileAnotherDeckPlaysLeavesThePlayingCartAlone) {
    cart(QStringLiteral("A.wav"), 2000, 4000);
    cart(QStringLiteral("B.wav"), 1000, 9000);
    load(1, QStringLiteral("A.wav"));
    engine.FireDeck(1);
    tick(50);
    statusUpdate();
    const QString shown = engine.Controls(1).timeCaption;
    load(2, QStringLiteral("B.wav"));
    tick(50);
    EXPECT_TRUE(engine.IsPlaying(1));
    EXPECT_EQ(engine.Controls(1).timeCaption, shown);
    EXPECT_EQ(engine.Controls(1).deckColour, DeckEngine::kBrightGreen);
    // The output heard A without a break.
    const auto runs = heardRuns();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].first, 4000);
    EXPECT_EQ(runs[0].second, 100 * kTickFrames);
}

TEST_F(DeckTable, LoadingIntoThePlayingDeckReplacesItWhileTheOldCartPlaysOn) {
    cart(QStringLiteral("Old.wav"), 1000, 4000);
    cart(QStringLiteral("New.wav"), 3000, 9000);
    load(1, QStringLiteral("Old.wav"));
    engine.FireDeck(1);
    tick(20);
    load(1, QStringLiteral("New.wav"));
    EXPECT_EQ(engine.Controls(1).deckCaption, QStringLiteral("New"));
    EXPECT_EQ(engine.Controls(1).deckColour, DeckEngine::kYellow);
    EXPECT_EQ(engine.Controls(1).timeCaption, QStringLiteral("0:00:03"));
    EXPECT_EQ(engine.FilePath(1), path(QStringLiteral("New.wav")));
    tick(); // the state refresh paints the playing deck green again
    EXPECT_EQ(engine.Controls(1).deckColour, DeckEngine::kBrightGreen);

    EXPECT_EQ(tickUntilStopped(), 79); // its 100 ticks less the 21 already played
    EXPECT_EQ(engine.Controls(1).deckColour, DeckEngine::kYellow);
    statusUpdate();
    EXPECT_EQ(engine.Controls(1).timeCaption, QStringLiteral("0:00:03"));
    engine.FireDeck(1);
    tick(10);
    const auto levels = heardLevels();
    EXPECT_EQ(levels.front(), 4000);
    EXPECT_EQ(levels.back(), 9000);
}

// --- Zero lengths -----------------------------------------------------------------------

TEST_F(DeckTable, AZeroLengthCartShowsNoTimeNeverPlaysAndTheDisplayStaysIdle) {
    levelCart(QStringLiteral("Click.wav"), 20, 5000); // 20 frames: under half a millisecond
    load(8, QStringLiteral("Click.wav"));
    EXPECT_EQ(engine.Controls(8).timeCaption, QStringLiteral("0:00:00"));
    EXPECT_EQ(engine.Controls(8).deckColour, DeckEngine::kYellow);
    engine.FireDeck(8);
    EXPECT_EQ(engine.CurrentDeck(), 8);
    EXPECT_EQ(player.Length(), 0);
    EXPECT_NE(player.Mode(), MciDevice::kModePlaying);

    // Nothing plays, so the time display writes the idle text and never divides.
    statusUpdate();
    tick();
    EXPECT_EQ(engine.ReportedErrorCount(), 0);
    EXPECT_EQ(pump.calls, 0);
    EXPECT_EQ(engine.TimeMeterValue(), 0.0f);
    EXPECT_EQ(engine.Controls(8).deckColour, DeckEngine::kYellow);
    EXPECT_FALSE(engine.PlayLatch());
}
