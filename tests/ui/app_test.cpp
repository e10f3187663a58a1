#include "app/appextras.h"
#include "app/quitsignals.h"
#include "decks/asrunlog.h"
#include "decks/endwarning.h"
#include "decks/prelisten.h"
#include "support/apprig.h"
#include "ui/about.h"
#include "ui/dragproxy.h"
#include "ui/form3.h"
#include "ui/title.h"

#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>
#include <csignal>
#include <tuple>

namespace {

// Every deck row, the meter and the hidden Label2 on the window show what the engine holds.
void expectWindowMirrorsEngine(const AppRig& rig) {
    const Form1& f = rig.form();
    const auto text = std::mem_fn(&QString::toStdString); // readable in a failure
    for (int d = 1; d <= kDeckCount; ++d) {
        const DeckEngine::DeckControls& row = rig.decks().Controls(d);
        EXPECT_EQ(std::tuple(text(f.DeckLabel(d)->text()), f.DeckLabel(d)->background(),
                             text(f.TimeLabel(d)->text()), text(f.PlayMode(d)->text()),
                             f.PlayMode(d)->background(), f.DeckLock(d)->background()),
                  std::tuple(text(row.deckCaption), row.deckColour, text(row.timeCaption),
                             text(row.modeCaption), row.modeColour, row.lockColour))
            << d;
    }
    EXPECT_EQ(f.TimeMeter()->maximum(), DeckEngine::kMeterMax);
    EXPECT_EQ(f.TimeMeter()->value(), qRound(rig.decks().TimeMeterValue()));
    EXPECT_TRUE(f.Label2()->isHidden() && f.Label2()->text() == rig.decks().hiddenStatus());
}

QPoint centreOfRow(const CartListView* list, int row) {
    return list->viewport()->mapToGlobal(list->visualRect(list->model()->index(row, 0)).center());
}

} // namespace

// The start removes our temporaries of killed settings writes over a minute old. The fourth
// tick of the title window's timer loads the main window, shows it and unloads the title.
TEST(AppStartup, TheFourthTitleTickLoadsTheMainWindow) {
    AppRig rig(false);
    rig.writeIni(rig.settings + "[deck 3]\nMode=Loop\n");
    for (QString name : {"Vidav.ini.aB3dEf", "Vidav.ini.Fresh1", "Vidav.ini.old", "Ini.aB3dEf"}) {
        QFile file(rig.dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.setFileTime(QDateTime::currentDateTime().addSecs(name.contains("Fresh") ? 0 : -61),
                         QFileDevice::FileModificationTime);
    }
    rig.app->start();
    EXPECT_EQ(QDir(rig.dir.path()).entryList(QDir::Files),
              QStringList({"Ini.aB3dEf", "Vidav.ini", "Vidav.ini.Fresh1", "Vidav.ini.old"}));
    QPointer<Title> title = rig.app->title();
    rig.app->Title_Form_Paint();
    for (int tick = 1; tick <= 4; ++tick) {
        EXPECT_TRUE(title && title->isVisible() && !rig.form().isVisible() &&
                    !rig.app->form1Loaded())
            << tick;
        rig.app->Title_Timer2_Timer();
    }
    EXPECT_TRUE(rig.form().isVisible() && !rig.app->Timer2().isActive());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(title, nullptr) << "the title window is unloaded";
    // The call letters keep their case.
    EXPECT_EQ(rig.form().PlayMode(3)->text() + " " + rig.form().Label3()->text(), "Loop kair");
    EXPECT_EQ(rig.form().focusWidget(), rig.form().SSCommand1());
    EXPECT_TRUE(rig.form().File1()->model()->rowCount() == 3 && rig.boxes.shown.isEmpty());
    expectWindowMirrorsEngine(rig);
    // From the load on the end-of-cart check runs; the player's notices come often enough
    // for a countdown in whole seconds.
    const int notices = rig.app->MMControl1().UpdateInterval();
    EXPECT_TRUE(rig.app->Timer1().isActive() && notices > 0 && notices <= 250);
}

// The question comes from inside the title window's tick: that timer must not tick again
// while it is up, or the main window would open a second time. The load stops after the
// modes and the cleared decks, and the window comes up.
TEST(AppStartup, AnUnreadableFirstCategoryIsReportedAndTheWindowStillOpens) {
    AppRig rig(false);
    rig.writeIni("[global]\ncallsign=KAIR\n[cat 1]\nName=Gone\nPath=/no/such/folder\n");
    bool titleTimerTicking = true;
    rig.boxes.whileShown = [&] {
        titleTimerTicking = rig.app->Timer2().isActive();
    };
    rig.openMainWindow();
    EXPECT_FALSE(titleTimerTicking);
    EXPECT_EQ(rig.boxes.shown,
              QStringList{"File path/access error!|Please check your category directory path.|16"});
    EXPECT_EQ(rig.form().PlayMode(1)->text() + rig.form().DeckLabel(1)->text(), "Norm");
    EXPECT_TRUE(rig.form().isVisible());
}

// No changes nothing; Yes closes every window, the title window too if still up. Closing
// the main window through the window manager asks nothing and closes every other window.
TEST(AppExit, NoLeavesEverythingAsItWasAndYesClosesEveryWindow) {
    AppRig rig(false);
    rig.app->start();
    rig.form().show(); // while the title window is still up, so the exit has both to close
    QTest::mouseClick(rig.form().SSCommand5(), Qt::LeftButton);
    QTest::mouseClick(rig.form().SSCommand3(), Qt::LeftButton);
    rig.boxes.answers = {MessageBoxes::kNo, MessageBoxes::kYes};
    QTest::mouseClick(rig.form().SSCommand2(), Qt::LeftButton);
    EXPECT_EQ(rig.boxes.shown, QStringList{"Are you sure you want to exit?|Exit Airloom?|36"});
    EXPECT_TRUE(rig.form().isVisible());
    QTest::mouseClick(rig.form().SSCommand2(), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(rig.app->title(), nullptr);
    for (const QWidget* window : QApplication::topLevelWidgets())
        EXPECT_FALSE(window->isVisible()) << window->objectName().toStdString();

    AppRig closing;
    QTest::mouseClick(closing.form().SSCommand3(), Qt::LeftButton);
    QTest::mouseClick(closing.form().SSCommand1(), Qt::LeftButton);
    closing.app->configWindows().Form2_buttonAddFolder_Click();
    closing.form().close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (const QWidget* window : QApplication::topLevelWidgets())
        EXPECT_FALSE(window->isVisible()) << window->objectName().toStdString();
    EXPECT_TRUE(closing.boxes.shown.isEmpty());
}

// Clicks on the deck rows and the clear-all button reach the engine, and every change of
// the engine shows on the window.
TEST(AppWindow, DeckRowsDriveAndMirrorTheEngine) {
    AppRig rig;
    rig.load(3, "News.wav");
    rig.load(4, "Sunday.wav");
    // A double-click on the slot fires it; the time display fills the meter; the window
    // follows the engine while it plays and after the end.
    QTest::mouseDClick(rig.form().DeckLabel(3), Qt::LeftButton);
    EXPECT_TRUE(rig.decks().IsPlaying(3));
    rig.device->render(rig.device->sampleRate() / 10);
    rig.decks().Timer1_Timer();
    rig.decks().MMControl1_StatusUpdate();
    EXPECT_GT(rig.form().TimeMeter()->value(), 0);
    expectWindowMirrorsEngine(rig);
    rig.playToEnd();
    expectWindowMirrorsEngine(rig);

    // A click on the slot does nothing; one on the time box empties the deck, one on the
    // mode box cycles the mode, one on the number locks the deck. The clear-all button
    // spares the locked deck and the playing one, which it empties once stopped.
    QTest::mouseClick(rig.form().DeckLabel(4), Qt::LeftButton);
    QTest::mouseClick(rig.form().TimeLabel(3), Qt::LeftButton);
    QTest::mouseClick(rig.form().PlayMode(4), Qt::LeftButton);
    rig.load(5, "News.wav");
    QTest::mouseClick(rig.form().DeckLock(5), Qt::LeftButton);
    EXPECT_EQ(rig.decks().FilePath(3) + "|" + rig.decks().FilePath(4) + " " +
                  rig.form().PlayMode(4)->text(),
              "|" + rig.carts + "/Sunday.wav Seqnc");
    EXPECT_EQ(rig.form().DeckLock(5)->background(), DeckEngine::kGrey);
    rig.load(6, "News.wav");
    rig.decks().FireDeck(6);
    QTest::mouseClick(rig.form().SSCommand4(), Qt::LeftButton);
    EXPECT_EQ(rig.decks().FilePath(4), "");
    EXPECT_EQ(rig.form().DeckLabel(5)->text() + rig.form().DeckLabel(6)->text(), "NewsNews");
    rig.decks().StopCart();
    QTest::mouseClick(rig.form().SSCommand4(), Qt::LeftButton);
    EXPECT_EQ(rig.decks().FilePath(6), "");
    expectWindowMirrorsEngine(rig);
}

// The status line is empty until there is something to say: a load or a fire writes only the
// hidden Label2. A cart that would not play is named until a fire plays; a standing warning
// covers it, in red, until it is cleared; a long text ends in "…" with the whole in the tooltip.
TEST(AppWindow, TheStatusLineSaysOnlyWhatTheOperatorNeeds) {
    AppRig rig;
    const ElidedLabel* line = rig.form().statusLine();
    StatusLine& status = rig.app->statusLine();
    Fixtures::file(rig.carts, "Junk.wav", "This is not a sound.\n");
    rig.app->cartList().Refresh();
    rig.load(1, "News.wav");
    rig.decks().FireDeck(1);
    EXPECT_EQ(line->text(), "");
    rig.load(2, "Junk.wav");
    rig.decks().FireDeck(2);
    EXPECT_TRUE(line->text().startsWith("Deck 2: Junk.wav: Not a sound file"))
        << line->text().toStdString();

    status.set(StatusLine::kOutput, "Lost", StatusLine::Priority::Warning);
    EXPECT_EQ(line->text(), "Lost");
    EXPECT_EQ(line->palette().color(QPalette::WindowText), QColor(Qt::red));
    rig.decks().FireDeck(1);
    status.set("file", "Slow share");
    EXPECT_EQ(line->text(), "Lost");
    status.clear(StatusLine::kOutput);
    EXPECT_EQ(line->text(), "Slow share");
    EXPECT_NE(line->palette().color(QPalette::WindowText), QColor(Qt::red));

    const QString longText = QString("word ").repeated(80) + "end";
    status.set("file", longText);
    EXPECT_TRUE(line->text().endsWith(QChar(0x2026)) && line->toolTip() == longText);
    EXPECT_LE(line->fontMetrics().horizontalAdvance(line->text()), line->contentsRect().width());
    status.clear("file");
    EXPECT_EQ(line->text() + line->toolTip(), "");
}

TEST(AppWindow, TabsAndListFollowTheLibrary) {
    AppRig rig;
    const TabStrip* strip = rig.form().TabStrip1();
    EXPECT_EQ(strip->tabText(1), "Spots");
    // Ten tabs stay in one row the height of the strip, with scroll arrows inside it.
    EXPECT_EQ(strip->tabRect(0).left(), 0);
    for (int i = 0; i < strip->count(); ++i)
        EXPECT_TRUE(strip->tabRect(i).top() == 0 &&
                    strip->tabRect(i).height() == strip->rowHeight())
            << i;
    for (const QToolButton* arrow : strip->findChildren<QToolButton*>())
        EXPECT_TRUE((!arrow->isVisible() || strip->rect().contains(arrow->geometry())) &&
                    arrow->focusPolicy() == Qt::NoFocus);

    // The wheel chooses no tab.
    QWheelEvent wheel(QPointF(5, 5), strip->mapToGlobal(QPointF(5, 5)), {}, {0, -120}, Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(rig.form().TabStrip1(), &wheel);
    EXPECT_EQ(strip->currentIndex(), 0);

    // A left press on a row is the library's selection; another button, a Ctrl+click (or
    // Ctrl+Space) on the selected row and a click below the rows leave it alone.
    const CartListView* list = rig.form().File1();
    for (auto [button, row, keys] : {std::tuple(Qt::LeftButton, 2, Qt::NoModifier),
                                     std::tuple(Qt::RightButton, 0, Qt::NoModifier),
                                     std::tuple(Qt::LeftButton, 2, Qt::ControlModifier),
                                     std::tuple(Qt::LeftButton, 9, Qt::NoModifier)})
        QTest::mouseClick(list->viewport(), button, keys,
                          list->visualRect(list->model()->index(row, 0)).center() +
                              QPoint(0, row < 4 ? 0 : list->viewport()->height() - 5));
    QTest::keyClick(rig.form().File1(), Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(rig.app->cartList().FileName(), "Sunday.wav");
}

// F3 on every forwarding widget fires deck 3 once, with no window active (as after a message
// box on some desktops); each auto-repeat is a press; Alt+F3 is no F3, keypad or Meta+F3 is.
TEST(AppKeys, EveryForwardingWidgetFiresOncePerPress) {
    AppRig rig(true, false);
    ASSERT_EQ(QApplication::activeWindow(), nullptr);
    rig.load(3, "News.wav");
    QList<QWidget*> forwarding{&rig.form(), rig.form().File1(), rig.form().Text1(),
                               rig.form().Picture1(), rig.form().TabStrip1()};
    for (int n = 1; n <= Form1::kButtonCount; ++n)
        forwarding << rig.form().SSCommand(n);
    expectF3FiresDeck3OncePerPress(rig, forwarding);
    for (bool playing : {true, false, true}) {
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_F3, Qt::NoModifier, QString(), true);
        QApplication::sendEvent(rig.form().File1(), &repeat);
        EXPECT_EQ(rig.decks().IsPlaying(3), playing);
    }
    press(rig.form().File1(), Qt::Key_F3, Qt::AltModifier);
    EXPECT_TRUE(rig.decks().IsPlaying(3));
    press(rig.form().File1(), Qt::Key_F3, Qt::KeypadModifier | Qt::MetaModifier);
    EXPECT_FALSE(rig.decks().IsPlaying(3));
}

// The pre-listen keys in the cart list, no window active: Space plays and stops, Escape stops,
// Shift+Space plays a long cart's last 10 s; F3 still fires deck 3, the pre-listen plays on.
TEST(AppKeys, PreListenKeysInTheList) {
    AppRig rig(false);
    Fixtures::wav(rig.carts, "Long.wav", 15000);
    rig.app->audio().openCart(rig.carts + "/Long.wav");
    rig.app->audio().waitForMeasurements();
    rig.openMainWindow(false);
    auto* cue = new ManualDevice; // owned by the pre-listen
    rig.app->enablePreListen(std::unique_ptr<OutputDevice>(cue), nullptr);
    rig.load(3, "News.wav");
    using Step = std::tuple<const char*, Qt::Key, Qt::KeyboardModifiers, const char*>;
    const Step steps[] = {
        {"Sunday.wav", Qt::Key_Space, Qt::NoModifier, "Pre-listen: Sunday.wav 0:00 / 0:00"},
        {"Sunday.wav", Qt::Key_Space, Qt::NoModifier, ""},
        {"News.wav", Qt::Key_Space, Qt::NoModifier, "Pre-listen: News.wav 0:00 / 0:00"},
        {"News.wav", Qt::Key_Escape, Qt::NoModifier, ""},
        {"Long.wav", Qt::Key_Space, Qt::ShiftModifier, "Pre-listen: Long.wav 0:05 / 0:15"},
        {"Long.wav", Qt::Key_F3, Qt::NoModifier, "Pre-listen: Long.wav 0:05 / 0:15"},
    };
    for (const auto& [cart, key, modifiers, status] : steps) {
        rig.select(cart);
        press(rig.form().File1(), key, modifiers);
        cue->renderPeriods(4);
        EXPECT_EQ(rig.app->preListen()->statusText(), status) << cart;
    }
    EXPECT_TRUE(rig.decks().IsPlaying(3));
}

// Typing searches; F12 (any modifiers) and a left click select the whole search text; arrows
// still move in the list, Ctrl+F-key loads what they found, Shift+F-key empties the deck.
TEST(AppKeys, TypingF12AndArrowsKeepWorking) {
    AppRig rig;
    QLineEdit* search = rig.form().Text1();
    search->setFocus();
    QTest::keyClicks(search, "Sta");
    EXPECT_EQ(search->text(), "Sta");
    EXPECT_EQ(rig.app->cartList().FileName(), "Station ID.wav");
    EXPECT_EQ(rig.form().File1()->currentIndex().row(), 1);
    EXPECT_EQ(rig.decks().CurrentDeck(), 0) << "letters fire nothing";

    press(rig.form().File1(), Qt::Key_F12, Qt::AltModifier | Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), search);
    EXPECT_EQ(search->selectedText(), "Sta");
    QTest::keyClick(search, 'N');
    EXPECT_EQ(search->text(), "N");
    EXPECT_EQ(rig.app->cartList().FileName(), "News.wav");
    QTest::keyClick(search, Qt::Key_F12); // in the box that has the focus already
    EXPECT_EQ(search->selectedText(), "N");
    search->deselect();
    QTest::mouseClick(search, Qt::RightButton);
    EXPECT_EQ(search->selectedText(), "");
    QTest::mouseClick(search, Qt::LeftButton);
    EXPECT_EQ(search->selectedText(), "N");

    press(rig.form().File1(), Qt::Key_Down);
    QTest::keyClick(rig.form().File1(), Qt::Key_F6, Qt::ControlModifier);
    EXPECT_EQ(rig.decks().FilePath(6), rig.carts + "/Station ID.wav");
    QTest::keyClick(rig.form().File1(), Qt::Key_F6, Qt::ShiftModifier);
    EXPECT_EQ(rig.decks().FilePath(6), "");
    EXPECT_EQ(QApplication::focusWidget(), rig.form().File1());
}

// Timer1 (ticking for real) rests while nothing plays; a fire wakes it until the cart ends.
TEST(AppIdle, Timer1RestsWhileNothingPlaysAndAFireWakesIt) {
    AppRig rig(false, false);
    rig.openMainWindow(false);
    QTimer& timer1 = rig.app->Timer1();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !timer1.isActive(); }));
    rig.load(1, "News.wav");
    rig.decks().FireDeck(1);
    EXPECT_TRUE(timer1.isActive());
    ASSERT_TRUE(QTest::qWaitFor([&] {
        rig.device->renderPeriods(1);
        return !timer1.isActive();
    }));
    EXPECT_EQ(rig.decks().Controls(1).deckColour, DeckEngine::kYellow);
}

// Help opened while a cart plays leaves it playing. Each key in About, Help or their controls
// reaches the map once: F11 stops, F1 fires, F12 brings the main window back, even minimized,
// the search text selected. Enter on About's OK brings the main window back, unloads About.
TEST(AppInfoWindows, KeysReachTheMapOnceAndOkRestoresTheMainWindow) {
    AppRig rig;
    rig.load(1, "News.wav");
    rig.decks().FireDeck(1);
    rig.form().Text1()->setText("Sta");
    InfoWindows& info = rig.app->infoWindows();
    QTest::mouseClick(rig.form().SSCommand5(), Qt::LeftButton);
    QTest::mouseClick(rig.form().SSCommand3(), Qt::LeftButton);
    QSignalSpy searches(&rig.app->keys(), &FunctionKeys::searchFocusRequested);
    for (QWidget* widget : QList<QWidget*>{info.form3(), info.form3()->HelpBox(), info.about(),
                                           info.about()->Command1()}) {
        SCOPED_TRACE(widget->objectName().toStdString());
        widget->window()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(widget->window()));
        EXPECT_TRUE(rig.decks().IsPlaying(1));
        press(widget, Qt::Key_F11);
        EXPECT_FALSE(rig.decks().IsPlaying(1));
        press(widget, Qt::Key_F1);
        rig.form().Text1()->deselect();
        rig.form().showMinimized();
        press(widget, Qt::Key_F12);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&rig.form()) && !rig.form().isMinimized());
        EXPECT_EQ(rig.form().Text1()->selectedText(), "Sta");
    }
    EXPECT_EQ(searches.size(), 4);

    QPointer<About> about = info.about();
    about->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(about));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&rig.form()));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QTest::mouseClick(rig.form().SSCommand5(), Qt::LeftButton);
    EXPECT_TRUE(about == nullptr && info.about()->isVisible()) << "a new About";
}

// What one press does, in the words of the help's key table, with every deck loaded, deck
// 10 playing (deck 1 for F10) and Sunday.wav selected in the list.
static QString pressEffect(const AppRig& rig, int keyCode, int shift) {
    const int playing = keyCode == VirtualKey::kF10 ? 1 : 10;
    for (int deck = 1; deck <= kDeckCount; ++deck)
        rig.load(deck, deck == playing ? "Station ID.wav" : "News.wav");
    rig.decks().FireDeck(playing);
    rig.app->cartList().setListIndex(2);
    QSignalSpy search(&rig.app->keys(), &FunctionKeys::searchFocusRequested);
    rig.app->keys().HandleFunctionKey(keyCode, shift);
    QStringList effects;
    for (int deck = 1; deck <= kDeckCount; ++deck) {
        const QString file = rig.decks().FilePath(deck);
        const bool started = deck != playing && rig.decks().IsPlaying(deck);
        if (file.isEmpty() || file.endsWith("Sunday.wav") || started)
            effects << (file.isEmpty() ? "Unload "
                        : started      ? "Start "
                                       : "Load ") +
                           QString::number(deck);
    }
    if (rig.app->MMControl1().Mode() != MciDevice::kModePlaying)
        effects << "Stop";
    if (!search.isEmpty())
        effects << "Go";
    rig.decks().StopCart();
    return effects.join(", ");
}

// The help's key table is the key map: every function key with every set of modifiers does
// what its row says (a key named alone acts with any modifiers), and nothing else acts.
TEST(AppInfoWindows, TheHelpKeyTableIsTheKeyMap) {
    AppRig rig;
    QTest::mouseClick(rig.form().SSCommand3(), Qt::LeftButton);
    const QTextDocument* help = rig.app->infoWindows().form3()->HelpBox()->document();
    const QRegularExpression row(R"(^(Shift \+ |Ctrl \+ )?F(\d+)( - F(\d+))?\t(\w+))");
    QMap<std::pair<int, int>, QString> table;
    for (QTextBlock block = help->begin(); block.isValid(); block = block.next()) {
        const QRegularExpressionMatch match = row.match(block.text());
        EXPECT_EQ(match.hasMatch(), block.text().contains('\t')) << block.text().toStdString();
        const int rowShift = QStringList{"", "Shift + ", "Ctrl + "}.indexOf(match.captured(1));
        const bool alone = match.captured(3).isEmpty();
        for (int key = match.captured(2).toInt();
             key > 0 && key <= std::max(match.captured(2).toInt(), match.captured(4).toInt());
             ++key)
            for (int shift = 0; shift < 8; ++shift)
                if (alone || shift == rowShift)
                    table[{111 + key, shift}] =
                        match.captured(5) + (alone ? "" : QString(" %1").arg(key));
    }
    for (int keyCode = VirtualKey::kF1 - 1; keyCode <= VirtualKey::kF1 + 24; ++keyCode)
        for (int shift = 0; shift < 8; ++shift)
            EXPECT_EQ(pressEffect(rig, keyCode, shift).toStdString(),
                      table.value({keyCode, shift}).toStdString())
                << "F" << keyCode - 111 << " shift " << shift;
}

// The end warning lights the time label and puts it back; a log failure stands on the status
// line until writing works again (the warning and the log are on, the levelling is not).
TEST(AppExtras, TheWindowShowsTheWarningAndLogFailures) {
    AppRig rig(false, true, "EndWarning=1\n[audio]\nLoudnessTarget=9\n");
    AppExtras& extras = rig.app->extras();
    ASSERT_EQ(extras.leveller(), nullptr); // 9 LUFS is out of range
    QLabel* time = rig.form().TimeLabel(3);
    const QPalette before = time->palette();

    emit extras.endWarning()->timeLabelLit(3, true);
    EXPECT_TRUE(time->autoFillBackground() && time->palette().color(QPalette::Window) == Qt::red &&
                time->palette().color(QPalette::WindowText) == Qt::white);
    emit extras.endWarning()->timeLabelLit(3, false);
    EXPECT_TRUE(time->palette() == before && !time->autoFillBackground());

    emit extras.asRunLog()->writeFailed("As-run log not written: disk full");
    EXPECT_EQ(rig.form().statusLine()->text(), "As-run log not written: disk full");
    // Writing works again: the failure goes, but never a newer message.
    emit extras.asRunLog()->writeRecovered("As-run log not written: disk full");
    EXPECT_EQ(rig.form().statusLine()->text(), "");
    emit extras.asRunLog()->writeFailed("As-run log not written: disk full");
    rig.app->statusLine().set(StatusLine::kFire, "Deck 2: the file stopped answering");
    emit extras.asRunLog()->writeRecovered("As-run log not written: disk full");
    EXPECT_EQ(rig.form().statusLine()->text(), "Deck 2: the file stopped answering");
}

// A shutdown, a logout or Ctrl+C ends the program as its exit does: the signal reaches the
// UI thread, every window closes without a question, and the log records the cart on air.
TEST(AppExit, AQuitSignalEndsTheProgramAsItsExitDoes) {
    AppRig rig;
    rig.load(4, "News.wav");
    rig.decks().FireDeck(4);
    {
        QuitSignals quitSignals;
        QSignalSpy received(&quitSignals, &QuitSignals::received);
        QObject::connect(&quitSignals, &QuitSignals::received, rig.app.get(), &AirloomApp::Quit);
        // The program's own loop, which Quit ends; the guard only ends a failing test.
        QTimer::singleShot(0, [] { ::raise(SIGHUP); });
        QTimer guard;
        QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
        guard.start(20000);
        EXPECT_EQ(QCoreApplication::exec(), 0);
        EXPECT_EQ(received, QList<QVariantList>{{SIGHUP}});
    }
    EXPECT_TRUE(!rig.form().isVisible() && rig.boxes.shown.isEmpty());
    rig.app.reset();
    QFile log(rig.dir.filePath("log/" + QDate::currentDate().toString("yyyy-MM-dd") + ".csv"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log.readAll().endsWith(",4,News," + QFile::encodeName(rig.carts) +
                                       "/News.wav,300,0,stopped\r\n"));
}

// A deck dragged onto a control that takes no drops changes nothing; dragged onto another
// deck it swaps them; a file dragged from the list loads the deck it lands on; a
// double-click without a move still fires although the press arms a drag.
TEST(XvfbAppDrag, DeckAndListDragsAndADoubleClick) {
    AppRig rig;
    rig.load(2, "News.wav");
    rig.load(7, "Sunday.wav");
    const QString news = rig.decks().FilePath(2);
    ASSERT_TRUE(pointerDrag(centreOf(rig.form().DeckLabel(7)), centreOf(rig.form().TimeLabel(2))));
    ASSERT_TRUE(pointerDrag(centreOf(rig.form().DeckLabel(2)), centreOf(rig.form().DeckLabel(7))));
    EXPECT_TRUE(QTest::qWaitFor([&] { return rig.decks().FilePath(7) == news; }, 5000));
    EXPECT_EQ(rig.decks().DragSourceDeck(), 2);
    EXPECT_EQ(rig.decks().CurrentDeck(), 0) << "a drag fires nothing";

    ASSERT_TRUE(pointerDrag(centreOfRow(rig.form().File1(), 1), centreOf(rig.form().DeckLabel(4))));
    const QString station = rig.carts + "/Station ID.wav";
    EXPECT_TRUE(QTest::qWaitFor([&] { return rig.decks().FilePath(4) == station; }, 5000));
    EXPECT_EQ(rig.app->cartList().FileName(), "Station ID.wav");
    EXPECT_TRUE(rig.form().Label42()->isHidden());

    ASSERT_TRUE(xdotool("mousemove " + xy(centreOf(rig.form().DeckLabel(7))) +
                        " sleep 0.05 click --repeat 2 --delay 80 1"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return rig.decks().IsPlaying(7); }, 5000));
    EXPECT_EQ(rig.decks().DragSourceDeck(), 7);
    EXPECT_EQ(rig.decks().FilePath(7), news);
}

// A deck dropped on the waste bin is emptied unless it plays, without a question; a file
// dropped there is deleted after the question, and loads no deck.
TEST(XvfbAppDrag, TheWasteBinEmptiesDecksAndDeletesFilesAfterYes) {
    AppRig rig;
    rig.load(3, "News.wav");
    rig.load(5, "Station ID.wav");
    rig.decks().FireDeck(5); // nothing renders the manual device, so it plays on
    const QPoint bin = centreOf(rig.form().SSCommand4());
    QSignalSpy drops(rig.form().SSCommand4(), &PictureButton::dropped);
    ASSERT_TRUE(pointerDrag(centreOf(rig.form().DeckLabel(5)), bin));
    ASSERT_TRUE(QTest::qWaitFor([&] { return drops.size() == 1; }, 5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(rig.form().DeckLabel(5)->text(), "Station ID");
    ASSERT_TRUE(pointerDrag(centreOf(rig.form().DeckLabel(3)), bin));
    EXPECT_TRUE(QTest::qWaitFor([&] { return rig.decks().FilePath(3).isEmpty(); }, 5000));
    EXPECT_EQ(rig.form().DeckLabel(3)->background(), DeckEngine::kBlack);
    EXPECT_TRUE(rig.decks().IsPlaying(5));
    EXPECT_TRUE(rig.boxes.shown.isEmpty());

    const QString sunday = rig.carts + "/Sunday.wav";
    rig.boxes.answers = {MessageBoxes::kYes};
    ASSERT_TRUE(pointerDrag(centreOfRow(rig.form().File1(), 2), bin));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !QFile::exists(sunday); }, 5000));
    ASSERT_EQ(rig.boxes.shown.size(), 1);
    EXPECT_TRUE(rig.boxes.shown[0].startsWith("You are about to permanently delete a file!|"));
    EXPECT_EQ(rig.form().File1()->model()->rowCount(), 2);
    for (int deck = 1; deck <= kDeckCount; ++deck)
        EXPECT_EQ(rig.decks().FilePath(deck).isEmpty(), deck != 5) << deck;
}

// Without a window manager X gives the keyboard to no window: the main window asks for it when
// it comes up, so that the first F-key pressed fires, with no click and the pointer elsewhere.
TEST(XvfbAppKeys, TheFirstKeyFiresWithoutAWindowManager) {
    AppRig rig(true, false);
    rig.load(3, "News.wav");
    ASSERT_TRUE(xdotool("mousemove 0 0 key F3"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return rig.decks().IsPlaying(3); }, 5000));
}
