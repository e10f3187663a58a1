#include "ui/form1.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QSet>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QRect twips(int left, int top, int width, int height) {
    return {left / 15, top / 15, width / 15, height / 15};
}

QWidget* named(const Form1& window, const char* name) {
    auto* control = window.findChild<QWidget*>(QLatin1String(name));
    EXPECT_NE(control, nullptr) << name;
    return control;
}

quint32 backgroundOf(const QWidget* control) {
    return control->palette().color(control->backgroundRole()).rgb() & 0xFFFFFFu;
}

} // namespace

TEST(LayoutForm1, WindowIsFixedWithMinimizeButNoMaximize) {
    Form1 window;
    EXPECT_EQ(window.objectName(), "Form1");
    EXPECT_EQ(window.windowTitle(), "Airloom 32");
    EXPECT_EQ(window.minimumSize(), QSize(569, 505));
    EXPECT_EQ(window.maximumSize(), QSize(569, 505));
    const Qt::WindowFlags flags = window.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(window.windowIcon().isNull());

    const QPoint screenCentre = window.screen()->availableGeometry().center();
    EXPECT_LE((window.geometry().center() - screenCentre).manhattanLength(), 2);
}

// Each control sits in its container at the design position (twips / 15).
TEST(LayoutForm1, ControlsStandWhereTheyWereDrawn) {
    Form1 window;
    struct Expected {
        const char* name;
        const char* container;
        QRect geometry;
    };
    const Expected table[] = {
        {"Picture1", "Form1", twips(240, 120, 1080, 450)},
        {"Label3", "Form1", twips(1560, 120, 2415, 435)},
        {"SSCommand6", "Form1", twips(4200, 120, 600, 600)},
        {"SSCommand1", "Form1", twips(4920, 120, 600, 600)},
        {"SSCommand4", "Form1", twips(5640, 120, 600, 600)},
        {"SSCommand5", "Form1", twips(6360, 120, 600, 600)},
        {"SSCommand3", "Form1", twips(7080, 120, 600, 600)},
        {"SSCommand2", "Form1", twips(7800, 120, 600, 600)},
        {"Frame2", "Form1", twips(0, 720, 3735, 6855)},
        {"File1", "Frame2", twips(240, 840, 3255, 5160)},
        {"Label4", "Frame2", twips(120, 6480, 615, 255)},
        {"Text1", "Frame2", twips(840, 6480, 2655, 285)},
        {"Label42", "Frame2", twips(0, 6720, 735, 135)},
        {"Frame1", "Form1", twips(3840, 720, 4695, 6855)},
        {"TimeMeter", "Frame1", twips(240, 6360, 4215, 255)},
        {"Label1", "Frame1", twips(840, 6360, 2775, 495)},
        {"Label2", "Form1", twips(120, 7680, 6615, 255)},
        {"DeckLock_1", "Frame1", twips(240, 360, 495, 495)},
        {"DeckLabel_1", "Frame1", twips(840, 360, 2775, 495)},
        {"TimeLabel_1", "Frame1", twips(3720, 360, 735, 255)},
        {"PlayMode_1", "Frame1", twips(3720, 600, 735, 255)},
        {"DeckLock_10", "Frame1", twips(240, 5760, 495, 495)},
        {"DeckLabel_10", "Frame1", twips(840, 5760, 2775, 495)},
        {"TimeLabel_10", "Frame1", twips(3720, 5760, 735, 255)},
        {"PlayMode_10", "Frame1", twips(3720, 6000, 735, 255)},
    };
    for (const Expected& expected : table) {
        QWidget* control = named(window, expected.name);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->geometry(), expected.geometry) << expected.name;
        EXPECT_EQ(control->parentWidget()->objectName(), expected.container) << expected.name;
    }

    // The tab strip's row of tabs and its page share the design area between them.
    QWidget* page = named(window, "TabStrip1Page");
    const QRect area = window.TabStrip1()->geometry().united(page->geometry());
    EXPECT_EQ(area, twips(120, 360, 3495, 5895));
    EXPECT_EQ(window.TabStrip1()->parentWidget(), window.Frame2());
}

TEST(LayoutForm1, DeckArraysAreIndexedByDeckNumber) {
    Form1 window;
    for (int deck = 1; deck <= Form1::kDeckCount; ++deck) {
        SCOPED_TRACE(deck);
        const int top = (360 + 600 * (deck - 1)) / 15;
        EventLabel* const row[] = {window.DeckLock(deck), window.DeckLabel(deck),
                                   window.TimeLabel(deck), window.PlayMode(deck)};
        const char* const names[] = {"DeckLock", "DeckLabel", "TimeLabel", "PlayMode"};
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(row[i]->objectName(), QStringLiteral("%1_%2").arg(names[i]).arg(deck));
            EXPECT_EQ(row[i]->property("Index").toInt(), deck);
            EXPECT_EQ(row[i]->parentWidget(), window.Frame1());
            EXPECT_EQ(row[i]->alignment(), Qt::AlignCenter);
            EXPECT_NE(row[i]->frameShape(), QFrame::NoFrame);
        }
        EXPECT_EQ(window.DeckLock(deck)->y(), top);
        EXPECT_EQ(window.PlayMode(deck)->y(), top + 16);

        // Captions before the load handler runs.
        EXPECT_EQ(window.DeckLock(deck)->text(), QString::number(deck));
        EXPECT_EQ(window.DeckLabel(deck)->text(), "Label2");
        EXPECT_EQ(window.TimeLabel(deck)->text(), "0:00:00");
        EXPECT_EQ(window.PlayMode(deck)->text(), "");

        EXPECT_EQ(window.DeckLock(deck)->background(), 0xFFFF00u);
        EXPECT_TRUE(window.DeckLabel(deck)->dropEnabled());
        EXPECT_FALSE(window.TimeLabel(deck)->dropEnabled());
        EXPECT_FALSE(window.DeckLock(deck)->dropEnabled());
    }
    EXPECT_THROW(window.DeckLabel(0), std::out_of_range);
    EXPECT_THROW(window.DeckLabel(11), std::out_of_range);
}

TEST(LayoutForm1, CaptionsFontsAndColours) {
    Form1 window;
    EXPECT_EQ(window.Frame2()->title(), "Available Carts");
    EXPECT_EQ(window.Frame1()->title(), "");
    EXPECT_EQ(window.Label4()->text(), "Search");
    EXPECT_EQ(window.Text1()->text(), "");
    EXPECT_EQ(window.Label3()->text(), "");
    EXPECT_EQ(window.Label1()->text(), "DragDropLabel");
    EXPECT_EQ(window.Label2()->text(), "Label2");
    EXPECT_EQ(window.Label42()->text(), "Label42");
    EXPECT_EQ(window.Label3()->alignment(), Qt::AlignCenter);
    EXPECT_EQ(backgroundOf(window.Label3()), 0xC0C0C0u);
    EXPECT_TRUE(window.Label3()->autoFillBackground());

    struct Expected {
        QWidget* control;
        const char* family;
        qreal points;
        bool bold;
    };
    const Expected fonts[] = {
        {&window, "DejaVu Sans", 8.25, false},
        {window.Label4(), "DejaVu Sans", 8.25, false},
        {window.TimeLabel(3), "DejaVu Sans", 8.25, false},
        {window.Label3(), "DejaVu Sans", 13.5, true},
        {window.DeckLock(7), "DejaVu Sans", 18, true},
        {window.DeckLabel(7), "DejaVu Sans", 9.75, false},
        {window.Label1(), "DejaVu Sans", 11.25, false},
    };
    for (const Expected& expected : fonts) {
        const QFont font = expected.control->font();
        EXPECT_EQ(font.family(), expected.family) << qPrintable(expected.control->objectName());
        EXPECT_DOUBLE_EQ(font.pointSizeF(), expected.points)
            << qPrintable(expected.control->objectName());
        EXPECT_EQ(font.bold(), expected.bold) << qPrintable(expected.control->objectName());
    }

    for (int n = 1; n <= Form1::kButtonCount; ++n) {
        EXPECT_EQ(window.SSCommand(n)->objectName(), QStringLiteral("SSCommand%1").arg(n));
        EXPECT_TRUE(window.SSCommand(n)->text().isEmpty());
        EXPECT_FALSE(window.SSCommand(n)->icon().isNull());
        EXPECT_EQ(window.SSCommand(n)->iconSize(), QSize(32, 32));
        EXPECT_EQ(window.SSCommand(n)->dropEnabled(), n == 4);
    }
    EXPECT_EQ(window.Picture1()->pixmap().deviceIndependentSize(), QSizeF(70, 28));

    EXPECT_EQ(window.TimeMeter()->minimum(), 0);
    EXPECT_EQ(window.TimeMeter()->maximum(), 60);
    EXPECT_EQ(window.TimeMeter()->value(), 0);
    EXPECT_FALSE(window.TimeMeter()->isTextVisible());
    EXPECT_TRUE(window.File1()->uniformItemSizes());
}

// The drag proxies never show and the status label lies outside the client area.
TEST(LayoutForm1, ProxiesHiddenAndStatusLabelOutOfSight) {
    Form1 window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_FALSE(window.Label1()->isVisible());
    EXPECT_FALSE(window.Label42()->isVisible());
    EXPECT_TRUE(window.Label2()->isVisible());
    EXPECT_FALSE(window.rect().intersects(window.Label2()->geometry()));
    EXPECT_TRUE(window.Label2()->visibleRegion().isEmpty());
    window.Label2()->setText("status");
    EXPECT_TRUE(window.Label2()->visibleRegion().isEmpty());
}

// Where controls overlap, the cart list lies over the tab strip's page and the hidden deck
// proxy under the meter.
TEST(LayoutForm1, StackingOfOverlappingControls) {
    Form1 window;
    const QObjectList& library = window.Frame2()->children();
    QWidget* page = named(window, "TabStrip1Page");
    EXPECT_GT(library.indexOf(window.File1()), library.indexOf(page));
    EXPECT_GT(library.indexOf(window.TabStrip1()), library.indexOf(page));
    EXPECT_TRUE(page->geometry().contains(window.File1()->geometry()));

    const QObjectList& decks = window.Frame1()->children();
    EXPECT_LT(decks.indexOf(window.Label1()), decks.indexOf(window.TimeMeter()));
}

// Only the ten controls of the tab order take the focus; the first of them holds it when
// the window opens, and Tab walks them in order and wraps around.
TEST(LayoutForm1, TabOrderAndFirstFocus) {
    Form1 window;
    const QList<QWidget*> order = {window.SSCommand1(), window.SSCommand4(), window.SSCommand5(),
                                   window.SSCommand3(), window.SSCommand2(), window.Picture1(),
                                   window.SSCommand6(), window.TabStrip1(),  window.File1(),
                                   window.Text1()};

    const QSet<QWidget*> inOrder(order.begin(), order.end());
    for (QWidget* control : window.findChildren<QWidget*>()) {
        bool partOfOrdered = false;
        for (QWidget* ordered : order)
            partOfOrdered = partOfOrdered || ordered->isAncestorOf(control);
        if (inOrder.contains(control)) {
            EXPECT_TRUE(control->focusPolicy() & Qt::TabFocus) << qPrintable(control->objectName());
        } else if (!partOfOrdered) {
            EXPECT_EQ(control->focusPolicy(), Qt::NoFocus)
                << qPrintable(control->objectName()) << control->metaObject()->className();
        }
    }

    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    EXPECT_EQ(QApplication::focusWidget(), window.SSCommand1());
    for (int step = 1; step <= order.size(); ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), order.at(step % order.size())) << step;
    }
}

// Space acts on the button that holds the focus when the window opens.
TEST(LayoutForm1, SpaceClicksTheFocusedButton) {
    Form1 window;
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    int clicks = 0;
    QObject::connect(window.SSCommand1(), &QPushButton::clicked, [&] { ++clicks; });
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_EQ(clicks, 1);
}
