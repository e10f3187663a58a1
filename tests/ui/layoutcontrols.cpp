#include "ui/controls.h"
#include "ui/dragproxy.h"

#include <QApplication>
#include <QDropEvent>
#include <QImage>
#include <QMimeData>
#include <QSignalSpy>
#include <QStringListModel>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

// Records the order in which a label raises its events.
struct LabelEvents {
    explicit LabelEvents(EventLabel& label) {
        QObject::connect(&label, &EventLabel::pressed, [this](Qt::MouseButton button) {
            log << (button == Qt::LeftButton ? "press" : "press-other");
        });
        QObject::connect(&label, &EventLabel::clicked, [this] { log << "click"; });
        QObject::connect(&label, &EventLabel::doubleClicked, [this] { log << "dblclick"; });
    }
    QStringList log;
};

} // namespace

TEST(LayoutDragProxy, PayloadRoundTripsAndAnythingElseIsNone) {
    for (DragProxy proxy : {DragProxy::Label1, DragProxy::Label42}) {
        QMimeData mime;
        setDragProxy(mime, proxy);
        EXPECT_TRUE(mime.hasFormat(kDragProxyMimeType));
        EXPECT_EQ(dragProxyOf(&mime), proxy);
    }

    QMimeData none;
    setDragProxy(none, DragProxy::None);
    EXPECT_TRUE(none.formats().isEmpty());
    EXPECT_EQ(dragProxyOf(&none), DragProxy::None);
    EXPECT_EQ(dragProxyOf(static_cast<const QMimeData*>(nullptr)), DragProxy::None);

    QMimeData text;
    text.setText("Label1");
    EXPECT_EQ(dragProxyOf(&text), DragProxy::None);

    QMimeData junk;
    junk.setData(kDragProxyMimeType, QByteArray("Label4\0", 7));
    EXPECT_EQ(dragProxyOf(&junk), DragProxy::None);
}

// A drop event that did not come from a drag of this process (here, a synthetic one, as
// from another program) is refused: no signal, not accepted.
TEST(LayoutDragProxy, DropFromOutsideTheProcessIsRefused) {
    EventLabel label;
    label.setDropEnabled(true);
    PictureButton button;
    button.setDropEnabled(true);
    QSignalSpy labelDrops(&label, &EventLabel::dropped);
    QSignalSpy buttonDrops(&button, &PictureButton::dropped);

    QMimeData mime;
    setDragProxy(mime, DragProxy::Label1);
    for (QWidget* target : {static_cast<QWidget*>(&label), static_cast<QWidget*>(&button)}) {
        QDragEnterEvent enter(QPoint(5, 5), Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        EXPECT_FALSE(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        EXPECT_FALSE(drop.isAccepted());
    }
    EXPECT_EQ(labelDrops.count(), 0);
    EXPECT_EQ(buttonDrops.count(), 0);
}

TEST(LayoutControls, LabelClickPressAndDoubleClick) {
    EventLabel label;
    label.resize(100, 30);
    LabelEvents events(label);

    QTest::mouseClick(&label, Qt::LeftButton);
    EXPECT_EQ(events.log, QStringList({"press", "click"}));

    // The second press of a double-click is no press, and no click follows its release.
    events.log.clear();
    QTest::mouseDClick(&label, Qt::LeftButton);
    EXPECT_EQ(events.log, QStringList({"dblclick"}));

    events.log.clear();
    QTest::mouseClick(&label, Qt::RightButton);
    EXPECT_EQ(events.log, QStringList({"press-other"}));

    // Released away from the label: a press but no click.
    events.log.clear();
    QTest::mousePress(&label, Qt::LeftButton, {}, QPoint(50, 15));
    QTest::mouseRelease(&label, Qt::LeftButton, {}, QPoint(150, 15));
    EXPECT_EQ(events.log, QStringList({"press"}));
}

TEST(LayoutControls, LabelBackgroundAndLook) {
    EventLabel label;
    EXPECT_EQ(label.alignment(), Qt::AlignCenter);
    EXPECT_EQ(label.frameShape(), QFrame::Panel);
    EXPECT_FALSE(label.dropEnabled());
    EXPECT_EQ(label.focusPolicy(), Qt::NoFocus);

    label.resize(40, 20);
    for (quint32 colour : {0x000000u, 0xFFFF00u, 0x00FF00u, 0x808080u}) {
        label.setBackground(colour);
        EXPECT_EQ(label.background(), colour);
        EXPECT_TRUE(label.autoFillBackground());
        // The middle of the label, inside the border and away from the empty caption.
        EXPECT_EQ(label.grab().toImage().pixel(20, 10) & 0xFFFFFFu, colour);
    }
}

TEST(LayoutControls, PictureButtonShowsItsIconAndTakesSpace) {
    PictureButton button;
    QPixmap red(32, 32);
    red.fill(Qt::red);
    button.setIcon(QIcon(red));
    button.resize(button.sizeHint());
    EXPECT_EQ(button.sizeHint(), QSize(40, 40));
    EXPECT_TRUE(button.text().isEmpty());
    EXPECT_TRUE(button.focusPolicy() & Qt::TabFocus);

    // Icon centred on the face, the bevel around it.
    const QImage face = button.grab().toImage();
    EXPECT_EQ(face.pixelColor(4, 4), QColor(Qt::red));
    EXPECT_EQ(face.pixelColor(35, 35), QColor(Qt::red));
    EXPECT_NE(face.pixelColor(3, 20), QColor(Qt::red));
    EXPECT_NE(face.pixelColor(36, 20), QColor(Qt::red));

    QSignalSpy clicks(&button, &QPushButton::clicked);
    QTest::keyClick(&button, Qt::Key_Space);
    EXPECT_EQ(clicks.count(), 1);
}

// A left press selects the row under the pointer before the signal; another button leaves
// the selection as it was. Ten thousand rows are listed without measuring each.
TEST(LayoutControls, CartListSelectsOnLeftPressOnly) {
    QStringList names;
    for (int i = 0; i < 10000; ++i)
        names << QStringLiteral("Cart %1.wav").arg(i, 5, 10, QLatin1Char('0'));
    QStringListModel model(names);
    CartListView list;
    list.setModel(&model);
    list.resize(217, 344);
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    EXPECT_TRUE(list.uniformItemSizes());

    int rowSeenBySlot = -2;
    Qt::MouseButton buttonSeen = Qt::NoButton;
    QObject::connect(&list, &CartListView::mouseDown, [&](Qt::MouseButton button, QPoint) {
        buttonSeen = button;
        rowSeenBySlot = list.currentIndex().row();
    });

    const QRect third = list.visualRect(model.index(3));
    QTest::mousePress(list.viewport(), Qt::LeftButton, {}, third.center());
    EXPECT_EQ(buttonSeen, Qt::LeftButton);
    EXPECT_EQ(rowSeenBySlot, 3);
    QTest::mouseRelease(list.viewport(), Qt::LeftButton, {}, third.center());

    const QRect fifth = list.visualRect(model.index(5));
    QTest::mousePress(list.viewport(), Qt::RightButton, {}, fifth.center());
    EXPECT_EQ(buttonSeen, Qt::RightButton);
    EXPECT_EQ(rowSeenBySlot, 3);
    QTest::mouseRelease(list.viewport(), Qt::RightButton, {}, fifth.center());
    EXPECT_EQ(list.selectionModel()->selectedRows().value(0).row(), 3);

    list.scrollToBottom();
    EXPECT_TRUE(list.viewport()->rect().contains(list.visualRect(model.index(9999))));
}

// What a slot does on a click or on getting the focus stays done.
TEST(LayoutControls, SearchBoxClickAndFocus) {
    SearchBox box;
    box.setText("Station");
    QObject::connect(&box, &SearchBox::clicked, &box, &QLineEdit::selectAll);
    QObject::connect(&box, &SearchBox::gotFocus, &box, &QLineEdit::selectAll);
    QSignalSpy clicks(&box, &SearchBox::clicked);
    QSignalSpy focus(&box, &SearchBox::gotFocus);
    box.show();
    QApplication::setActiveWindow(&box);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&box));
    EXPECT_GE(focus.count(), 1);

    box.deselect();
    QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_EQ(box.selectedText(), "Station");

    QTest::mouseClick(&box, Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_EQ(clicks.count(), 1);
}

// Ten tabs stay in one row the height of the strip, with scroll arrows inside it.
TEST(LayoutControls, TabStripKeepsOneRow) {
    TabStrip strip;
    strip.resize(233, strip.rowHeight());
    for (int i = 1; i <= 10; ++i)
        strip.addTab(QStringLiteral("Not Configured"));
    strip.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&strip));
    for (int i = 0; i < strip.count(); ++i) {
        EXPECT_EQ(strip.tabRect(i).top(), 0);
        EXPECT_EQ(strip.tabRect(i).height(), strip.rowHeight());
    }
    EXPECT_EQ(strip.tabRect(0).left(), 0);
    for (auto* arrow : strip.findChildren<QToolButton*>()) {
        if (arrow->isVisible()) {
            EXPECT_TRUE(strip.rect().contains(arrow->geometry()));
        }
    }
}
