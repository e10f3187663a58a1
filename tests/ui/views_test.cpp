#include "ui/artwork.h"
#include "ui/dragproxy.h"
#include "ui/form1.h"
#include "ui/qtmessageboxes.h"
#include "ui/title.h"

#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <gtest/gtest.h>

// Every named control lies inside its container; visible siblings share at most a line of
// pixels; deck rows stand evenly; the picture buttons run 6, 1, 4, 5, 3, 2; one sample place.
TEST(Layout, WindowsAndControlsAsDrawn) {
    Form1 f;
    Title t;
    EXPECT_EQ(f.maximumSize(), f.minimumSize());
    const Qt::WindowFlags buttons = Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;
    EXPECT_EQ(f.windowFlags() & (buttons | Qt::WindowMaximizeButtonHint), buttons);
    EXPECT_FALSE(f.windowIcon().isNull());
    EXPECT_TRUE(t.windowFlags() & Qt::FramelessWindowHint);
    for (const QWidget* window : QList<QWidget*>{&f, &t})
        EXPECT_LE((window->geometry().center() - window->screen()->availableGeometry().center())
                      .manhattanLength(),
                  2);

    QStringList names = {
        "Form1/Picture1",   "Form1/Label3",  "Form1/Frame2",   "Form1/Frame1",   "Form1/StatusLine",
        "Frame2/File1",     "Frame2/Label4", "Frame2/Text1",   "Frame2/Label42", "Frame2/TabStrip1",
        "Frame1/TimeMeter", "Frame1/Label1", "Title/Picture2", "Title/Label1"};
    for (int n = 1; n <= Form1::kButtonCount; ++n)
        names << QString("Form1/SSCommand%1").arg(n);
    for (int deck = 1; deck <= kDeckCount; ++deck)
        for (const char* array : {"DeckLock_", "DeckLabel_", "TimeLabel_", "PlayMode_"})
            names << QString("Frame1/%1%2").arg(array).arg(deck);
    for (const QString& name : names) {
        const QWidget* window = name.startsWith("Title") ? static_cast<QWidget*>(&t) : &f;
        const auto* control = window->findChild<QWidget*>(name.section('/', 1));
        ASSERT_NE(control, nullptr) << name.toStdString();
        EXPECT_TRUE(control->parentWidget()->objectName() == name.section('/', 0, 0) &&
                    control->parentWidget()->rect().contains(control->geometry()))
            << name.toStdString();
    }
    const QWidget* page = f.findChild<QWidget*>("TabStrip1Page");
    ASSERT_NE(page, nullptr);
    for (const QWidget* parent : QList<QWidget*>{&f, &t, f.Frame1(), f.Frame2()}) {
        const QList<QWidget*> all = parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        for (const QWidget* a : all)
            for (const QWidget* b : all) {
                const QRect both = a->geometry() & b->geometry();
                EXPECT_TRUE(a >= b || a->isHidden() || b->isHidden() || a == page || b == page ||
                            std::min(both.width(), both.height()) <= 1)
                    << a->objectName().toStdString() << " " << b->objectName().toStdString();
            }
    }
    EXPECT_EQ(f.DeckLabel(4)->geometry(), QRect(56, 144, 185, 33)); // a sample place
    const int screenOrder[] = {6, 1, 4, 5, 3, 2};
    for (int i = 1; i < 6; ++i) {
        EXPECT_GT(f.SSCommand(screenOrder[i])->x(), f.SSCommand(screenOrder[i - 1])->x());
        EXPECT_EQ(f.DeckLabel(i + 1)->y() - f.DeckLabel(i)->y(),
                  f.DeckLabel(2)->y() - f.DeckLabel(1)->y());
    }

    // Only the deck slots and, among the picture buttons, the waste bin take drops.
    for (const EventLabel* label : f.findChildren<EventLabel*>())
        EXPECT_EQ(label->dropEnabled(), label->objectName().startsWith("DeckLabel"));
    for (const PictureButton* button : f.findChildren<PictureButton*>())
        EXPECT_EQ(button->dropEnabled(), button == f.SSCommand4());
    // The list lies over the tab strip's page, the hidden deck proxy under the meter.
    EXPECT_TRUE(page->geometry().contains(f.File1()->geometry()));
    EXPECT_GT(f.Frame2()->children().indexOf(f.File1()), f.Frame2()->children().indexOf(page));
    EXPECT_LT(f.Frame1()->children().indexOf(f.Label1()),
              f.Frame1()->children().indexOf(f.TimeMeter()));
}

// Only the ten controls of the tab order take the focus, the first at the opening, and Tab
// walks them and wraps; drag proxies and Label2 stay hidden; the status line is seen whole.
TEST(Layout, FocusOrderAndHiddenControls) {
    Form1 form;
    const QList<QWidget*> order = {form.SSCommand1(), form.SSCommand4(), form.SSCommand5(),
                                   form.SSCommand3(), form.SSCommand2(), form.Picture1(),
                                   form.SSCommand6(), form.TabStrip1(),  form.File1(),
                                   form.Text1()};
    for (QWidget* control : form.findChildren<QWidget*>()) {
        const Qt::FocusPolicy policy = control->focusPolicy();
        if (std::none_of(order.begin(), order.end(),
                         [control](QWidget* o) { return o->isAncestorOf(control); })) {
            EXPECT_TRUE(order.contains(control) ? (policy & Qt::TabFocus) : policy == Qt::NoFocus)
                << control->objectName().toStdString() << control->metaObject()->className();
        }
    }
    form.show();
    QApplication::setActiveWindow(&form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    EXPECT_EQ(QApplication::focusWidget(), form.SSCommand1());
    for (int step = 1; step <= order.size(); ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), order.at(step % order.size())) << step;
    }
    EXPECT_FALSE(form.Label1()->isVisible() || form.Label42()->isVisible() ||
                 form.Label2()->isVisible());
    form.statusLine()->setFullText("status");
    EXPECT_EQ(form.statusLine()->visibleRegion(), QRegion(form.statusLine()->rect()));
}

// Every paint of the title window is announced (its timer starts there). The pictures come
// out of the resources, which a static library can lose at link time: the logo is drawn.
TEST(Layout, TitlePaintAndArtwork) {
    Title title;
    QSignalSpy painted(&title, &Title::painted);
    title.grab();
    EXPECT_EQ(painted.count(), 1);
    const QImage logo = artwork::logo().toImage();
    int opaque = 0;
    for (int y = 0; y < logo.height(); ++y)
        for (int x = 0; x < logo.width(); ++x)
            opaque += logo.pixelColor(x, y).alpha() == 255;
    EXPECT_EQ(opaque, 70 * 28);
}

// A click is a left press and release on the label; the second press of a double-click is
// no press and no click follows its release; released away from the label, no click.
TEST(Controls, LabelEventsAndBackground) {
    EventLabel label;
    label.resize(100, 30);
    QStringList log;
    QObject::connect(&label, &EventLabel::pressed, [&](Qt::MouseButton button) {
        log << (button == Qt::LeftButton ? "press" : "press-other");
    });
    QObject::connect(&label, &EventLabel::clicked, [&] { log << "click"; });
    QObject::connect(&label, &EventLabel::doubleClicked, [&] { log << "dblclick"; });
    QTest::mouseClick(&label, Qt::LeftButton);
    QTest::mouseDClick(&label, Qt::LeftButton);
    QTest::mouseClick(&label, Qt::RightButton);
    QTest::mousePress(&label, Qt::LeftButton, {}, QPoint(50, 15));
    QTest::mouseRelease(&label, Qt::LeftButton, {}, QPoint(150, 15));
    EXPECT_EQ(log, QStringList({"press", "click", "dblclick", "press-other", "press"}));

    // The background is painted: the middle of the label, inside the border.
    label.resize(40, 20);
    label.setBackground(0x00FF00u);
    EXPECT_EQ(label.grab().toImage().pixel(20, 10) & 0xFFFFFFu, 0x00FF00u);
}

// Only a drag of this process names a proxy: a drop that came from elsewhere (here a
// synthetic one, as from another program) is refused, whatever it carries.
TEST(Controls, OnlyOurProxyFromThisProcessIsDropped) {
    Form1 form;
    QMimeData mime;
    setDragProxy(mime, DragProxy::DeckCart);
    for (QWidget* target : QList<QWidget*>{form.DeckLabel(1), form.SSCommand4()}) {
        QDragEnterEvent enter(QPoint(5, 5), Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        EXPECT_FALSE(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        EXPECT_FALSE(drop.isAccepted());
    }
}

// Each style shows its text, caption, buttons and icon; Enter answers the default button;
// Escape on a Yes/No box is No, never Yes.
TEST(QtMessageBoxes, EachStyleShowsItsButtonsIconAndDefault) {
    using Box = QMessageBox;
    const std::tuple<int, Box::Icon, int, Qt::Key> cases[] = {
        {MessageBoxes::kOkStop, Box::Critical, MessageBoxes::kOk, Qt::Key_Return},
        {MessageBoxes::kYesNoQuestion, Box::Question, MessageBoxes::kYes, Qt::Key_Return},
        {MessageBoxes::kOkExclamation, Box::Warning, MessageBoxes::kOk, Qt::Key_Return},
        {MessageBoxes::kYesNoExclamationNoDef, Box::Warning, MessageBoxes::kNo, Qt::Key_Return},
        {MessageBoxes::kYesNoQuestion, Box::Question, MessageBoxes::kNo, Qt::Key_Escape}};
    for (const auto& [style, icon, answer, key] : cases) {
        SCOPED_TRACE(testing::Message() << style << " " << key);
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<Box*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->text() + "|" + box->windowTitle(),
                      "Exit Airloom?|Are you sure you want to exit?");
            EXPECT_EQ(box->icon(), icon);
            EXPECT_EQ(box->standardButtons(),
                      answer == MessageBoxes::kOk ? Box::Ok : Box::Yes | Box::No);
            QTest::keyClick(box, key);
        });
        EXPECT_EQ(QtMessageBoxes().MsgBox("Exit Airloom?", style, "Are you sure you want to exit?"),
                  answer);
    }
}

// A box belongs to the window that was active and gives the focus back to the control that
// held it there, not to another window of the program.
TEST(QtMessageBoxes, TheBoxBelongsToTheActiveWindowAndGivesTheFocusBack) {
    QWidget main;
    QWidget config;
    new QLineEdit(&config);
    auto* edit = new QLineEdit(&config);
    edit->move(0, 40);
    main.show();
    config.show();
    QApplication::setActiveWindow(&config);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&config));
    edit->setFocus();
    const QWidget* owner = nullptr;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        owner = box->parentWidget();
        QApplication::setActiveWindow(&main); // where a window manager may send the focus
        QTest::keyClick(box, Qt::Key_Return);
    });
    QtMessageBoxes boxes;
    EXPECT_EQ(boxes.MsgBox("Saved?", MessageBoxes::kOkStop, "Airloom"), MessageBoxes::kOk);
    EXPECT_EQ(owner, &config);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&config));
    EXPECT_EQ(QApplication::focusWidget(), edit);
}
