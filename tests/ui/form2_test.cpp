#include "config/configwindow.h"
#include "support/apprig.h"
#include "ui/addcat.h"
#include "ui/form2.h"

#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTimer>

// A sample place in twips, the covered group, the window's buttons, the tab order and the
// call letters' limit.
TEST(Form2Layout, ControlsAsDrawn) {
    Form2 f;
    AddCat a;
    EXPECT_EQ(f.Option(3, 1)->parentWidget()->objectName(), "Picture3");
    EXPECT_EQ(f.Option(3, 1)->geometry(), QRect(840 / 15, 0, 375 / 15, 255 / 15));

    const Qt::WindowFlags buttons = Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                                    Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint;
    EXPECT_EQ(f.windowFlags() & buttons, Qt::WindowFlags());
    EXPECT_EQ(f.windowFlags() & Qt::WindowType_Mask, Qt::Tool) << "no taskbar entry";
    EXPECT_EQ(a.windowFlags() & buttons, Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    // "Category Title" whole, beside the title box.
    EXPECT_GE(a.Label1()->width(), a.Label1()->sizeHint().width());
    EXPECT_LT(a.Label1()->geometry().right(), a.Text1()->x());

    // The focus chain holds the tab order; Tab reaches the covered group from the
    // call-letters box.
    f.show();
    QApplication::setActiveWindow(&f);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    EXPECT_EQ(QApplication::focusWidget(), f.Drive1());
    EXPECT_TRUE(f.Frame4()->isVisible() && f.Frame1()->geometry().contains(f.Frame4()->geometry()));
    EXPECT_LT(f.children().indexOf(f.Frame4()), f.children().indexOf(f.Frame1()));
    const QList<QWidget*> order = f.focusOrder();
    QList<QWidget*> chain;
    QWidget* w = order.first();
    for (int i = 0; i < 1000 && chain.size() < order.size(); ++i, w = w->nextInFocusChain())
        if (w->focusPolicy() & Qt::TabFocus)
            chain << w;
    EXPECT_EQ(chain, order);
    f.Text2()->setFocus();
    QTest::keyClick(f.Text2(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), f.buttonAddFolder());

    // Ten characters at most, typed or pasted.
    QTest::keyClicks(f.Text2(), "ABCDEFGH");
    f.Text2()->insert("0123456789abc");
    EXPECT_EQ(f.Text2()->text(), "ABCDEFGH01");
}

// The wrench opens the window modeless, a second click brings it forward unreloaded; deck
// defaults are written at the click, sparing the running decks; a window-manager close is
// refused; the exit button writes the call letters as typed and updates the main window.
TEST(Form2App, OpensModelessWritesDeckDefaultsAndClosesWithTheExitButton) {
    Form2Rig rig;
    rig.writeIni(rig.settings + "; keep\n");
    const QByteArray before = Fixtures::bytes(rig.iniPath);
    Form2& f = rig.form2();
    EXPECT_TRUE(f.isVisible() && !QApplication::activeModalWidget());
    EXPECT_EQ(f.Drive1()->currentText() + " " + f.Text2()->text(), "carts KAIR");

    f.Text1()->setFocus();
    QTest::keyClicks(f.Text1(), "Hot");
    EXPECT_EQ(f.Text1()->text(), "Hot") << "the focus selected the whole name";
    f.showMinimized();
    QTest::mouseClick(rig.form().SSCommand1(), Qt::LeftButton);
    EXPECT_TRUE(rig.windows().form2() == &f && !f.isMinimized() && f.Text1()->text() == "Hot");
    QTest::mouseClick(f.Command1(), Qt::LeftButton);

    rig.load(4, "News.wav");
    QTest::mouseClick(f.Option(4, 2), Qt::LeftButton);
    QByteArray expected = before;
    expected.replace("Name=Jingles", "Name=Hot");
    expected += "[deck 4]\nMode=Loop\n";
    EXPECT_EQ(Fixtures::bytes(rig.iniPath), expected);
    EXPECT_EQ(rig.decks().Controls(4).modeCaption, "Norm");
    EXPECT_TRUE(f.Option(4, 2)->isChecked() && !f.Option(4, 0)->isChecked() &&
                f.Option(5, 0)->isChecked());

    f.Text2()->selectAll();
    QTest::keyClicks(f.Text2(), "kxyz");
    EXPECT_FALSE(f.close());
    EXPECT_TRUE(f.isVisible());
    QTest::mouseClick(f.SSCommand1(), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(rig.windows().form2(), nullptr);
    expected.replace("callsign=kair", "callsign=kxyz");
    EXPECT_EQ(Fixtures::bytes(rig.iniPath), expected);
    EXPECT_EQ(rig.form().Label3()->text() + " " + rig.form().TabStrip1()->tabText(0), "kxyz Hot");
    EXPECT_TRUE(rig.boxes.shown.isEmpty());
}

// The function keys work from every control that forwards them, once per press, and not
// from the call-letters box; the pointer sets the help line over the listed surfaces only.
TEST(Form2App, KeysAndHelpLine) {
    Form2Rig rig;
    rig.load(3, "News.wav");
    Form2& f = rig.form2();
    QList<QWidget*> forwarding{&f,        f.Command1(), f.Dir1(),       f.Drive1(),
                               f.Text1(), f.VScroll1(), f.SSCommand1(), f.Option(7, 1)};
    expectF3FiresDeck3OncePerPress(rig, forwarding);
    for (QWidget* silent : QList<QWidget*>{f.Text2(), f.Picture(2), f.List1()}) {
        press(silent, Qt::Key_F3);
        EXPECT_FALSE(rig.decks().IsPlaying(3)) << silent->objectName().toStdString();
    }

    // A move passes up to the parents unless a control takes it: over an option or a button
    // its own help shows, not its group's; over the label, the folders', not its frame's.
    using S = ConfigWindow::Surface;
    const std::tuple<QWidget*, QPoint, S> moves[] = {
        {f.Text1(), {3, 3}, S::CategoryName},
        {f.Option(2, 1), {3, 3}, S::CategoryName},
        {f.Dir1()->viewport(), {3, 3}, S::Folders},
        {f.Label16(), {3, 3}, S::Folders},
        {f.Command1(), {3, 3}, S::SaveButton},
        {&f, {f.width() - 3, f.height() - 3}, S::Window},
        {f.Frame2(), {5, f.Frame2()->height() - 5}, S::DeckDefaults}};
    for (const auto& [over, at, surface] : moves) {
        QMouseEvent move(QEvent::MouseMove, at, over->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(over, &move);
        EXPECT_EQ(f.Label1()->text().toStdString(), ConfigWindow::HelpText(surface).toStdString());
    }
    // The longest text, whole and readable.
    EXPECT_GE(f.Label1()->height(), f.Label1()->heightForWidth(f.Label1()->width()));
    EXPECT_GE(f.Label1()->font().pointSizeF(), 8.0);
    EXPECT_TRUE(f.rect().contains(f.Label1()->geometry()));
}

// Real keys and pointer of the X server. Alt+A presses the covered Add button: the dialog
// opens with no owner; OK appends the title, hides the dialog, gives the keyboard back to the
// configuration window and leaves everything else; shown again it keeps the title. The program's
// exit closes both windows without a question.
TEST(XvfbForm2, AltAOpensAddCategoryAndTheExitClosesBoth) {
    Form2Rig rig;
    const QByteArray before = Fixtures::bytes(rig.iniPath);
    rig.form2().Text2()->setFocus();
    ASSERT_TRUE(xdotool("key --delay 50 alt+a"));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return rig.windows().addCat() && rig.windows().addCat()->isVisible(); }, 5000));
    AddCat* dialog = rig.windows().addCat();
    EXPECT_EQ(dialog->parentWidget(), nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
    ASSERT_TRUE(xdotool("type --delay 30 Promos"));
    ASSERT_TRUE(xdotool("key --delay 50 alt+o"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog->isVisible(); }, 5000));
    EXPECT_TRUE(QTest::qWaitForWindowActive(&rig.form2())) << "the focus goes back";
    EXPECT_EQ(Fixtures::bytes(rig.dir.filePath("dtb/cats.db")), "Promos\r\n");
    rig.windows().Form2_buttonAddFolder_Click();
    EXPECT_TRUE(rig.windows().addCat() == dialog && dialog->Text1()->text() == "Promos");

    rig.boxes.answers = {MessageBoxes::kYes};
    QTest::mouseClick(rig.form().SSCommand2(), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(rig.windows().form2() == nullptr && !dialog->isVisible());
    EXPECT_EQ(rig.boxes.shown.size(), 1);
    EXPECT_EQ(Fixtures::bytes(rig.iniPath), before);
}

// A click on the selector's arrow and a drag of its thumb, each with an unsaved name: the
// prompt comes at once and saves under the category shown; the button released while a
// (modal) box is up does not leave the arrow stepping on or the thumb dragging.
TEST(XvfbForm2, TheSelectorPromptsAtOnceAndStopsWithTheQuestion) {
    Form2Rig rig;
    Form2& f = rig.form2();
    ConfigWindow& config = rig.config();
    QList<int> askedFor;
    rig.boxes.whileShown = [&] {
        askedFor << config.ShownCategory();
        QDialog box(&f);
        QTimer::singleShot(300, &box, &QDialog::accept);
        box.exec();
    };
    QScrollBar* selector = f.VScroll1();
    const QPoint downArrow =
        selector->mapToGlobal(QPoint(selector->width() / 2, selector->height() - 4));
    const QPoint thumb = selector->mapToGlobal(selector->rect().center());
    for (int gesture = 0; gesture < 2; ++gesture) {
        const int from = config.ShownCategory();
        config.Form2_Text1_Change(QString("Edited %1").arg(from));
        askedFor.clear();
        rig.boxes.shown.clear();
        ASSERT_TRUE(gesture == 0 ? xdotool("mousemove " + xy(downArrow) + " click 1")
                                 : pointerDrag(thumb, thumb + QPoint(0, selector->height())));
        ASSERT_TRUE(QTest::qWaitFor([&] { return config.ShownCategory() != from; }, 5000));
        EXPECT_EQ(rig.boxes.shown.filter("Warning!, changes not saved!|").size(), 1);
        EXPECT_EQ(askedFor.first(), from);
        EXPECT_EQ(rig.app->profile().Read(QString("cat %1").arg(from), "Name", "", 80),
                  QString("Edited %1").arg(from));
        EXPECT_TRUE(config.ShownCategory() == selector->value() && !selector->isSliderDown());
        EXPECT_TRUE(gesture == 1 || config.ShownCategory() == 2) << "one step per click";
    }
}
