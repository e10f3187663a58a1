#include "ui/apprig.h"

#include <QProcess>
#include <QSignalSpy>
#include <QStringListModel>
#include <gtest/gtest.h>

// Drags with the real pointer of the X server. A drag runs its own event loop that reads
// X events, so synthetic Qt mouse events cannot drive it: xdotool moves and presses the
// pointer through the XTEST extension while the test spins the event loop.
namespace {

struct DragRig : AppRig {
    DragRig() {
        openMainWindow();
        form().raise();
        (void)QTest::qWaitForWindowExposed(&form());
    }

    static QPoint centreOf(const QWidget* widget) {
        return widget->mapToGlobal(widget->rect().center());
    }

    QPoint centreOfRow(int row) const {
        const CartListView* list = form().File1();
        const QRect rect = list->visualRect(list->model()->index(row, 0));
        return list->viewport()->mapToGlobal(rect.center());
    }

    // Presses the left button at from, moves in steps to to and releases there. The pauses
    // pace the pointer for the X server and the drag loop; the outcome is waited for by
    // the caller as a condition, not as a time.
    static bool drag(QPoint from, QPoint to) {
        QStringList script;
        auto step = [&script](const QStringList& command, const char* pause) {
            script << command << QStringLiteral("sleep") << QString::fromLatin1(pause);
        };
        auto moveTo = [&step](QPoint p) {
            step({QStringLiteral("mousemove"), QString::number(p.x()), QString::number(p.y())},
                 "0.05");
        };
        moveTo(from);
        step({QStringLiteral("mousedown"), QStringLiteral("1")}, "0.1");
        constexpr int kSteps = 8;
        for (int i = 1; i <= kSteps; ++i)
            moveTo(from + (to - from) * i / kSteps);
        moveTo(to + QPoint(1, 1));
        step({QStringLiteral("mouseup"), QStringLiteral("1")}, "0.1");

        return run(script);
    }

    // A double-click of the left button at p, as quick as a hand's.
    static bool doubleClick(QPoint p) {
        return run({QStringLiteral("mousemove"), QString::number(p.x()), QString::number(p.y()),
                    QStringLiteral("sleep"), QStringLiteral("0.05"), QStringLiteral("click"),
                    QStringLiteral("--repeat"), QStringLiteral("2"), QStringLiteral("--delay"),
                    QStringLiteral("80"), QStringLiteral("1")});
    }

    static bool run(const QStringList& script) {
        QProcess xdotool;
        xdotool.start(QStringLiteral("xdotool"), script);
        if (!xdotool.waitForStarted())
            return false;
        return QTest::qWaitFor([&] { return xdotool.state() == QProcess::NotRunning; }, 20000) &&
               xdotool.exitStatus() == QProcess::NormalExit && xdotool.exitCode() == 0;
    }
};

} // namespace

TEST(XvfbAppDrag, ADeckDraggedOntoAnotherSwapsThem) {
    DragRig rig;
    rig.load(2, QStringLiteral("News.wav"));
    rig.load(7, QStringLiteral("Sunday.wav"));
    const QString news = rig.decks().FilePath(2);
    const QString sunday = rig.decks().FilePath(7);

    ASSERT_TRUE(DragRig::drag(DragRig::centreOf(rig.form().DeckLabel(2)),
                              DragRig::centreOf(rig.form().DeckLabel(7))));
    EXPECT_TRUE(QTest::qWaitFor([&] { return rig.decks().FilePath(7) == news; }, 5000));
    EXPECT_EQ(rig.decks().FilePath(2), sunday);
    EXPECT_EQ(rig.decks().DragSourceDeck(), 2);
    EXPECT_EQ(rig.form().DeckLabel(7)->text(), QStringLiteral("News"));
    EXPECT_EQ(rig.form().DeckLabel(2)->text(), QStringLiteral("Sunday"));
    EXPECT_EQ(rig.decks().CurrentDeck(), 0) << "a drag fires nothing";
}

// A press on a deck label arms a drag, but a double-click without a move still fires.
TEST(XvfbAppDrag, ADoubleClickOnADeckStillFiresIt) {
    DragRig rig;
    rig.load(6, QStringLiteral("News.wav"));
    const QString news = rig.decks().FilePath(6);
    ASSERT_TRUE(DragRig::doubleClick(DragRig::centreOf(rig.form().DeckLabel(6))));
    EXPECT_TRUE(QTest::qWaitFor([&] { return rig.decks().IsPlaying(6); }, 5000));
    EXPECT_EQ(rig.decks().DragSourceDeck(), 6);
    EXPECT_EQ(rig.decks().FilePath(6), news);
}

TEST(XvfbAppDrag, AFileDraggedFromTheListOntoDeck4LoadsIt) {
    DragRig rig;
    ASSERT_TRUE(DragRig::drag(rig.centreOfRow(1), DragRig::centreOf(rig.form().DeckLabel(4))));
    const QString station = rig.carts + QStringLiteral("/Station ID.wav");
    EXPECT_TRUE(QTest::qWaitFor([&] { return rig.decks().FilePath(4) == station; }, 5000));
    EXPECT_EQ(rig.form().DeckLabel(4)->text(), QStringLiteral("Station ID"));
    EXPECT_EQ(rig.app->cartList().FileName(), QStringLiteral("Station ID.wav"));
    EXPECT_TRUE(rig.form().Label42()->isHidden());
}

TEST(XvfbAppDrag, AFileDroppedOnTheTrashIsDeletedOnlyAfterYes) {
    DragRig rig;
    const QString sunday = rig.carts + QStringLiteral("/Sunday.wav");

    rig.boxes.answers = {MessageBoxes::kNo};
    ASSERT_TRUE(DragRig::drag(rig.centreOfRow(2), DragRig::centreOf(rig.form().SSCommand4())));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.boxes.shown.size() == 1; }, 5000));
    EXPECT_EQ(rig.boxes.shown[0].style, MessageBoxes::kYesNoExclamationNoDef);
    EXPECT_EQ(rig.boxes.shown[0].caption,
              QStringLiteral("You are about to permanently delete a file!"));
    EXPECT_TRUE(QFile::exists(sunday));

    rig.boxes.answers = {MessageBoxes::kYes};
    ASSERT_TRUE(DragRig::drag(rig.centreOfRow(2), DragRig::centreOf(rig.form().SSCommand4())));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !QFile::exists(sunday); }, 5000));
    EXPECT_EQ(rig.boxes.shown.size(), 2);
    EXPECT_EQ(rig.form().File1()->model()->rowCount(), 2);
    for (int deck = 1; deck <= DeckEngine::kDeckCount; ++deck)
        EXPECT_EQ(rig.form().DeckLabel(deck)->text(), QString()) << deck;
}

TEST(XvfbAppDrag, ADeckDroppedOnTheTrashEmptiesUnlessItPlays) {
    DragRig rig;
    rig.load(3, QStringLiteral("News.wav"));
    rig.load(5, QStringLiteral("Sunday.wav"));
    // Nothing renders the manual device, so deck 5 plays for as long as the test runs.
    rig.decks().FireDeck(5);
    QSignalSpy drops(rig.form().SSCommand4(), &PictureButton::dropped);

    ASSERT_TRUE(DragRig::drag(DragRig::centreOf(rig.form().DeckLabel(5)),
                              DragRig::centreOf(rig.form().SSCommand4())));
    ASSERT_TRUE(QTest::qWaitFor([&] { return drops.size() == 1; }, 5000));
    QCoreApplication::processEvents();
    EXPECT_TRUE(rig.decks().IsPlaying(5));
    EXPECT_EQ(rig.form().DeckLabel(5)->text(), QStringLiteral("Sunday"));

    ASSERT_TRUE(DragRig::drag(DragRig::centreOf(rig.form().DeckLabel(3)),
                              DragRig::centreOf(rig.form().SSCommand4())));
    EXPECT_TRUE(QTest::qWaitFor([&] { return rig.decks().FilePath(3).isEmpty(); }, 5000));
    EXPECT_EQ(rig.form().DeckLabel(3)->background(), DeckEngine::kBlack);
    EXPECT_TRUE(rig.decks().IsPlaying(5));
    EXPECT_TRUE(rig.boxes.shown.isEmpty());
}
