#include "ui/controls.h"
#include "ui/dragproxy.h"

#include <QApplication>
#include <QDrag>
#include <QHBoxLayout>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// Drags proxy from source to target with the mouse, the way the shell starts its drags:
// from the press handler, with QDrag::exec.
Qt::DropAction dragProxy(EventLabel& source, QWidget& target, DragProxy proxy) {
    Qt::DropAction result = Qt::IgnoreAction;
    auto* starter = new QObject(&source);
    QObject::connect(&source, &EventLabel::pressed, starter, [&] {
        // The pointer moves and lets go once the drag runs.
        QTimer::singleShot(50, [&] {
            const QPoint over = target.rect().center();
            QTest::mouseMove(&target, over);
            QTimer::singleShot(50, [&target, over] {
                QTest::mouseMove(&target, over + QPoint(1, 1));
                QTest::mouseRelease(&target, Qt::LeftButton, {}, over + QPoint(1, 1));
            });
        });
        auto* drag = new QDrag(&source);
        auto* mime = new QMimeData;
        setDragProxy(*mime, proxy);
        drag->setMimeData(mime);
        result = drag->exec(Qt::MoveAction);
    });
    QTest::mousePress(&source, Qt::LeftButton, {}, source.rect().center());
    delete starter;
    // Back in the event loop the events that the finished drag left pending are handled
    // before the next press; a drag started before them ends at once.
    QCoreApplication::processEvents();
    return result;
}

} // namespace

// A proxy dragged within the program reaches the deck label and the picture button it is
// dropped on.
TEST(XvfbLayoutDrop, ProxyDropReachesLabelAndButton) {
    QWidget window;
    auto* layout = new QHBoxLayout(&window);
    // One source per drag: presses on one spot in quick succession would make a
    // double-click.
    EventLabel* sources[3];
    for (EventLabel*& source : sources) {
        source = new EventLabel;
        source->setText("source");
        source->setMinimumSize(80, 40);
        layout->addWidget(source);
    }
    auto* deck = new EventLabel;
    deck->setText("deck");
    deck->setDropEnabled(true);
    auto* bin = new PictureButton;
    bin->setDropEnabled(true);
    auto* refusing = new EventLabel;
    refusing->setText("no drops");
    for (QWidget* control : {static_cast<QWidget*>(deck), static_cast<QWidget*>(bin),
                             static_cast<QWidget*>(refusing)}) {
        control->setMinimumSize(80, 40);
        layout->addWidget(control);
    }
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    QSignalSpy deckDrops(deck, &EventLabel::dropped);
    QSignalSpy binDrops(bin, &PictureButton::dropped);

    EXPECT_EQ(dragProxy(*sources[0], *deck, DragProxy::Label42), Qt::MoveAction);
    ASSERT_EQ(deckDrops.count(), 1);
    EXPECT_EQ(deckDrops.at(0).at(0).value<DragProxy>(), DragProxy::Label42);

    EXPECT_EQ(dragProxy(*sources[1], *bin, DragProxy::Label1), Qt::MoveAction);
    ASSERT_EQ(binDrops.count(), 1);
    EXPECT_EQ(binDrops.at(0).at(0).value<DragProxy>(), DragProxy::Label1);

    EXPECT_EQ(dragProxy(*sources[2], *refusing, DragProxy::Label1), Qt::IgnoreAction);
    EXPECT_EQ(deckDrops.count() + binDrops.count(), 2);
}
