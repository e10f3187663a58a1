#include "ui/apprig.h"
#include "ui/title.h"

#include <QLabel>
#include <QProgressBar>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

// Every deck row, the meter and Label2 on the window show what the engine holds.
void expectWindowMirrorsEngine(const AppRig& rig) {
    for (int deck = 1; deck <= DeckEngine::kDeckCount; ++deck) {
        SCOPED_TRACE(deck);
        const DeckEngine::DeckControls& row = rig.decks().Controls(deck);
        EXPECT_EQ(rig.form().DeckLabel(deck)->text(), row.deckCaption);
        EXPECT_EQ(rig.form().DeckLabel(deck)->background(), row.deckColour);
        EXPECT_EQ(rig.form().TimeLabel(deck)->text(), row.timeCaption);
        EXPECT_EQ(rig.form().PlayMode(deck)->text(), row.modeCaption);
        EXPECT_EQ(rig.form().PlayMode(deck)->background(), row.modeColour);
        EXPECT_EQ(rig.form().DeckLock(deck)->background(), row.lockColour);
    }
    EXPECT_EQ(rig.form().TimeMeter()->value(), qRound(rig.decks().TimeMeterValue()));
    EXPECT_EQ(rig.form().Label2()->text(), rig.decks().Label2());
}

QStringList tabCaptions(const Form1& form) {
    QStringList captions;
    for (int i = 0; i < form.TabStrip1()->count(); ++i)
        captions.append(form.TabStrip1()->tabText(i));
    return captions;
}

} // namespace

TEST(AppStartup, TheMainWindowOpensOnTheFourthTickOfTheTitleWindow) {
    AppRig rig;
    rig.app->start();
    QPointer<Title> title = rig.app->title();
    ASSERT_NE(title, nullptr);
    EXPECT_TRUE(title->isVisible());
    EXPECT_FALSE(rig.form().isVisible());

    // The title window's paint starts its one-second timer.
    EXPECT_FALSE(rig.app->Timer2().isActive());
    rig.app->Title_Form_Paint();
    EXPECT_TRUE(rig.app->Timer2().isActive());
    EXPECT_EQ(rig.app->Timer2().interval(), 1000);

    for (int tick = 1; tick <= 3; ++tick) {
        rig.app->Title_Timer2_Timer();
        EXPECT_EQ(rig.app->titleTicks(), tick);
        EXPECT_FALSE(rig.form().isVisible()) << "tick " << tick;
        EXPECT_FALSE(rig.app->form1Loaded());
        EXPECT_TRUE(title && title->isVisible());
    }

    rig.app->Title_Timer2_Timer();
    EXPECT_EQ(rig.app->titleTicks(), 4);
    EXPECT_TRUE(rig.form().isVisible());
    EXPECT_TRUE(rig.app->form1Loaded());
    EXPECT_FALSE(rig.app->Timer2().isActive());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(title, nullptr) << "the title window is unloaded";
    EXPECT_EQ(rig.app->title(), nullptr);

    // The end-of-cart check runs from the load on, every 10 ms.
    EXPECT_TRUE(rig.app->Timer1().isActive());
    EXPECT_EQ(rig.app->Timer1().interval(), 10);
    // The player's notifications come often enough for a countdown in whole seconds.
    EXPECT_GT(rig.app->MMControl1().UpdateInterval(), 0);
    EXPECT_LE(rig.app->MMControl1().UpdateInterval(), 250);
}

TEST(AppStartup, TheLoadReadsModesClearsDecksReadsSettingsThenHidesTheToken) {
    AppRig rig;
    rig.writeIni(QStringLiteral("[global]\ncallsign=KAIR\n[cat 1]\nName=Jingles\nPath=%1\n"
                                "[deck 2]\nMode=Seqnc\n[deck 3]\nMode=Loop\n")
                     .arg(rig.carts));
    // Each step of the load, once, in the order in which it first shows.
    QStringList steps;
    auto step = [&steps](const char* name) {
        if (!steps.contains(QLatin1String(name)))
            steps.append(QLatin1String(name));
    };
    QObject::connect(&rig.decks(), &DeckEngine::deckChanged, [&](int deck) {
        const DeckEngine::DeckControls& row = rig.decks().Controls(deck);
        if (!row.modeCaption.isEmpty())
            step("modes");
        if (row.deckCaption.isEmpty())
            step("clear");
    });
    QObject::connect(&rig.app->tabs(), &CategoryTabs::tabsChanged, [&] { step("tabs"); });
    QObject::connect(&rig.app->settings(), &StationSettings::label3Changed,
                     [&] { step("call letters"); });

    // Before the load the deck slots still read their design caption.
    EXPECT_EQ(rig.form().DeckLabel(1)->text(), QStringLiteral("Label2"));
    rig.openMainWindow();

    EXPECT_EQ(steps.join(QStringLiteral(", ")).toStdString(), "modes, clear, tabs, call letters");
    EXPECT_TRUE(rig.form().Label42()->isHidden());
    EXPECT_EQ(rig.form().PlayMode(2)->text(), QStringLiteral("Seqnc"));
    EXPECT_EQ(rig.form().PlayMode(3)->text(), QStringLiteral("Loop"));
    EXPECT_EQ(rig.form().PlayMode(3)->background(), DeckEngine::kRed);
    EXPECT_EQ(rig.form().Label3()->text(), QStringLiteral("KAIR"));
    EXPECT_EQ(rig.form().File1()->model()->rowCount(), 3);
    EXPECT_EQ(rig.decks().CurrentDeck(), 0);
    EXPECT_EQ(rig.form().focusWidget(), rig.form().SSCommand1());
    EXPECT_TRUE(rig.boxes.shown.isEmpty());
    expectWindowMirrorsEngine(rig);
}

TEST(AppStartup, WithoutASettingsFileTheWindowShowsTheDefaults) {
    AppRig rig(false);
    rig.openMainWindow();

    EXPECT_EQ(tabCaptions(rig.form()), QStringList(10, QStringLiteral("Not Configured")));
    EXPECT_EQ(rig.form().TabStrip1()->currentIndex(), 0);
    EXPECT_EQ(rig.app->cartList().Path(), QStringLiteral("/"));
    EXPECT_EQ(rig.form().File1()->model()->rowCount(), rig.app->cartList().ListCount());
    EXPECT_EQ(rig.form().Label3()->text(), QStringLiteral("WXYZ"));
    for (int deck = 1; deck <= DeckEngine::kDeckCount; ++deck) {
        SCOPED_TRACE(deck);
        EXPECT_EQ(rig.form().PlayMode(deck)->text(), QStringLiteral("Norm"));
        EXPECT_EQ(rig.form().PlayMode(deck)->background(), DeckEngine::kYellow);
        EXPECT_EQ(rig.form().DeckLabel(deck)->text(), QString());
        EXPECT_EQ(rig.form().DeckLabel(deck)->background(), DeckEngine::kBlack);
    }
    EXPECT_TRUE(rig.boxes.shown.isEmpty());
    EXPECT_FALSE(QFile::exists(rig.iniPath)) << "nothing is written at start-up";
}

TEST(AppStartup, AnUnreadableFirstCategoryIsReportedAndTheWindowStillOpens) {
    AppRig rig;
    rig.writeIni(QStringLiteral("[global]\ncallsign=KAIR\n[cat 1]\nName=Gone\nPath=%1\n")
                     .arg(rig.dir.filePath(QStringLiteral("no such folder"))));
    // The question comes from inside the title window's tick: that timer must not tick
    // again while it is up, or the main window would open a second time.
    bool titleTimerTicking = true;
    rig.boxes.whileShown = [&] {
        titleTimerTicking = rig.app->Timer2().isActive();
    };
    rig.openMainWindow();
    EXPECT_FALSE(titleTimerTicking);

    ASSERT_EQ(rig.boxes.shown.size(), 1);
    EXPECT_EQ(rig.boxes.shown[0].text,
              QStringLiteral("Please check your category directory path."));
    EXPECT_EQ(rig.boxes.shown[0].caption, QStringLiteral("File path/access error!"));
    EXPECT_EQ(rig.boxes.shown[0].style, MessageBoxes::kOkStop);
    // The load stopped there: no call letters; the token is hidden and the window is up.
    EXPECT_EQ(rig.form().Label3()->text(), QString());
    EXPECT_TRUE(rig.form().Label42()->isHidden());
    EXPECT_TRUE(rig.form().isVisible());
    EXPECT_EQ(tabCaptions(rig.form()).value(0), QStringLiteral("Gone"));
}

TEST(AppExit, NoLeavesEverythingAsItWas) {
    AppRig rig;
    rig.openMainWindow();
    rig.app->Timer1().stop();
    rig.load(2, QStringLiteral("News.wav"));
    rig.decks().FireDeck(2);

    rig.boxes.answers = {MessageBoxes::kNo};
    QTest::mouseClick(rig.form().SSCommand2(), Qt::LeftButton);

    ASSERT_EQ(rig.boxes.shown.size(), 1);
    EXPECT_EQ(rig.boxes.shown[0].text, QStringLiteral("Exit Airloom?"));
    EXPECT_EQ(rig.boxes.shown[0].caption, QStringLiteral("Are you sure you want to exit?"));
    EXPECT_EQ(rig.boxes.shown[0].style, MessageBoxes::kYesNoQuestion);
    EXPECT_TRUE(rig.form().isVisible());
    EXPECT_TRUE(rig.decks().IsPlaying(2)) << "the cart plays on";
}

TEST(AppExit, YesClosesEveryWindow) {
    AppRig rig;
    rig.app->start();
    rig.app->Title_Form_Paint();
    for (int tick = 0; tick < 3; ++tick)
        rig.app->Title_Timer2_Timer();
    // The main window is opened here while the title window is still up, so the exit
    // has both to close.
    rig.form().show();

    rig.boxes.answers = {MessageBoxes::kYes};
    QTest::mouseClick(rig.form().SSCommand2(), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    EXPECT_EQ(rig.boxes.shown.size(), 1);
    EXPECT_FALSE(rig.form().isVisible());
    EXPECT_EQ(rig.app->title(), nullptr);
    for (const QWidget* window : QApplication::topLevelWidgets())
        EXPECT_FALSE(window->isVisible()) << window->objectName().toStdString();
}

TEST(AppExit, TheWindowManagersCloseAsksNothing) {
    AppRig rig;
    rig.openMainWindow();
    rig.form().close();
    EXPECT_FALSE(rig.form().isVisible());
    EXPECT_TRUE(rig.boxes.shown.isEmpty());
}

TEST(AppWindow, MirrorsTheEngineThroughFireEndAndClear) {
    AppRig rig;
    rig.openMainWindow();
    rig.app->Timer1().stop();
    expectWindowMirrorsEngine(rig);

    rig.load(3, QStringLiteral("News.wav"));
    rig.load(4, QStringLiteral("Sunday.wav"));
    EXPECT_EQ(rig.form().DeckLabel(3)->text(), QStringLiteral("News"));
    EXPECT_EQ(rig.form().DeckLabel(3)->background(), DeckEngine::kYellow);
    expectWindowMirrorsEngine(rig);

    // A double-click on the slot fires it; the next check paints it green.
    QTest::mouseDClick(rig.form().DeckLabel(3), Qt::LeftButton);
    EXPECT_TRUE(rig.decks().IsPlaying(3));
    rig.decks().Timer1_Timer();
    EXPECT_EQ(rig.form().DeckLabel(3)->background(), DeckEngine::kBrightGreen);
    rig.device->render(rig.device->sampleRate() / 10);
    rig.decks().MMControl1_StatusUpdate();
    EXPECT_GT(rig.form().TimeMeter()->value(), 0);
    expectWindowMirrorsEngine(rig);

    rig.playToEnd();
    EXPECT_EQ(rig.form().DeckLabel(3)->background(), DeckEngine::kYellow);
    EXPECT_EQ(rig.form().TimeMeter()->value(), 0);
    expectWindowMirrorsEngine(rig);

    // A click on the time box empties the deck; one on the slot does nothing.
    QTest::mouseClick(rig.form().DeckLabel(4), Qt::LeftButton);
    EXPECT_EQ(rig.decks().FilePath(4), rig.carts + QStringLiteral("/Sunday.wav"));
    QTest::mouseClick(rig.form().TimeLabel(3), Qt::LeftButton);
    EXPECT_EQ(rig.form().DeckLabel(3)->text(), QString());
    EXPECT_EQ(rig.form().DeckLabel(3)->background(), DeckEngine::kBlack);
    EXPECT_EQ(rig.form().TimeLabel(3)->text(), QStringLiteral("0:00:00"));
    expectWindowMirrorsEngine(rig);
}

TEST(AppWindow, ModeAndLockClicksReachTheEngine) {
    AppRig rig;
    rig.openMainWindow();
    rig.app->Timer1().stop();
    rig.load(5, QStringLiteral("News.wav"));

    const QStringList cycle{QStringLiteral("Seqnc"), QStringLiteral("Loop"),
                            QStringLiteral("Norm")};
    for (const QString& word : cycle) {
        QTest::mouseClick(rig.form().PlayMode(5), Qt::LeftButton);
        EXPECT_EQ(rig.form().PlayMode(5)->text(), word);
    }
    QTest::mouseClick(rig.form().DeckLock(5), Qt::LeftButton);
    EXPECT_EQ(rig.form().DeckLock(5)->background(), DeckEngine::kGrey);
    // The clear-all button spares the locked deck.
    rig.load(6, QStringLiteral("Sunday.wav"));
    QTest::mouseClick(rig.form().SSCommand4(), Qt::LeftButton);
    EXPECT_EQ(rig.form().DeckLabel(5)->text(), QStringLiteral("News"));
    EXPECT_EQ(rig.form().DeckLabel(6)->text(), QString());
    QTest::mouseClick(rig.form().DeckLock(5), Qt::LeftButton);
    EXPECT_EQ(rig.form().DeckLock(5)->background(), DeckEngine::kYellow);
    expectWindowMirrorsEngine(rig);
}

TEST(AppWindow, TabsAndListFollowTheLibrary) {
    AppRig rig;
    rig.openMainWindow();
    EXPECT_EQ(tabCaptions(rig.form()).mid(0, 3),
              (QStringList{QStringLiteral("Jingles"), QStringLiteral("Spots"),
                           QStringLiteral("Not Configured")}));

    // Category 2's folder does not exist: reported, the list stays, the tab stays chosen.
    rig.form().TabStrip1()->setCurrentIndex(1);
    ASSERT_EQ(rig.boxes.shown.size(), 1);
    EXPECT_EQ(rig.boxes.shown[0].caption, QStringLiteral("File path/access error!"));
    EXPECT_EQ(rig.app->tabs().SelectedIndex(), 2);
    EXPECT_EQ(rig.form().TabStrip1()->currentIndex(), 1);
    EXPECT_EQ(rig.form().File1()->model()->rowCount(), 3);

    // A file that arrives in the folder shows after the refresh button.
    Fixtures::wav(rig.carts, QStringLiteral("Weather.wav"), AppRig::kCartMs);
    QTest::mouseClick(rig.form().SSCommand6(), Qt::LeftButton);
    EXPECT_EQ(rig.form().File1()->model()->rowCount(), 4);

    // Choosing a row in the list is the library's selection.
    const QModelIndex sunday = rig.form().File1()->model()->index(2, 0);
    QTest::mouseClick(rig.form().File1()->viewport(), Qt::LeftButton, {},
                      rig.form().File1()->visualRect(sunday).center());
    EXPECT_EQ(rig.app->cartList().FileName(), QStringLiteral("Sunday.wav"));
}
