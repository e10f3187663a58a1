#include "ui/artwork.h"
#include "ui/dragproxy.h"
#include "ui/form1.h"
#include "ui/qtkeys.h"
#include "ui/qtmessageboxes.h"
#include "ui/title.h"

#include <QApplication>
#include <QGroupBox>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

namespace {

QString captionOf(const QWidget* control) {
    if (const auto* frame = qobject_cast<const QGroupBox*>(control))
        return frame->title();
    const bool captioned = qobject_cast<const QLabel*>(control) ||
                           qobject_cast<const QLineEdit*>(control) ||
                           qobject_cast<const QAbstractButton*>(control);
    return captioned ? control->property("text").toString() : "-";
}

QString fontOf(const QWidget* control) {
    const QFont font = control->font();
    return QString("%1 %2%3%4")
        .arg(font.family())
        .arg(font.pointSizeF())
        .arg(font.bold() ? " bold" : "", font.italic() ? " italic" : "");
}

bool centredOnScreen(const QWidget& window) {
    const QPoint screenCentre = window.screen()->availableGeometry().center();
    return (window.geometry().center() - screenCentre).manhattanLength() <= 2;
}

int countPixels(const QImage& image, bool (*match)(QColor)) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += match(image.pixelColor(x, y)) ? 1 : 0;
    return count;
}

} // namespace

// Each control by its accessor: its name, container, place there in twips, caption ("-" for
// none) and font, and the look and drops of the deck arrays and picture buttons.
TEST(Layout, WindowsAndControlsAsDrawn) {
    Form1 f;
    EXPECT_EQ(f.objectName(), "Form1");
    EXPECT_EQ(f.windowTitle(), "Airloom 32");
    // 8535 x 7995 twips: the frames, then the status line Label2.
    EXPECT_EQ(f.minimumSize(), QSize(569, 533));
    EXPECT_EQ(f.maximumSize(), QSize(569, 533));
    const Qt::WindowFlags buttons = Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;
    EXPECT_EQ(f.windowFlags() & (buttons | Qt::WindowMaximizeButtonHint), buttons);
    EXPECT_FALSE(f.windowIcon().isNull());
    EXPECT_TRUE(centredOnScreen(f));
    Title t;
    EXPECT_EQ(t.objectName(), "Title");
    EXPECT_TRUE(t.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(t.size(), QSize(413 + 2, 204 + 2)); // 6195 x 3060 twips in a one-pixel border
    EXPECT_EQ(t.minimumSize(), t.maximumSize());
    EXPECT_TRUE(centredOnScreen(t));

    struct Row {
        QWidget* control;
        QString name;
        QString container;
        QRect twips;
        QString caption;
        QString font = "DejaVu Sans 8.25";
    };
    const QString serif = "Liberation Serif 6.75 bold italic", bold18 = "DejaVu Sans 18 bold",
                  sans975 = "DejaVu Sans 9.75", sans1125 = "DejaVu Sans 11.25";
    // clang-format off
    std::vector<Row> rows = {
        {f.Picture1(), "Picture1", "Form1", {240, 120, 1080, 450}, ""},
        {f.Label3(), "Label3", "Form1", {1560, 120, 2415, 435}, "", "DejaVu Sans 13.5 bold"},
        {f.Frame2(), "Frame2", "Form1", {0, 720, 3735, 6855}, "Available Carts"},
        {f.File1(), "File1", "Frame2", {240, 840, 3255, 5160}, "-"},
        {f.Label4(), "Label4", "Frame2", {120, 6480, 615, 255}, "Search"},
        {f.Text1(), "Text1", "Frame2", {840, 6480, 2655, 285}, ""},
        {f.Label42(), "Label42", "Frame2", {0, 6720, 735, 135}, "Label42"},
        {f.Frame1(), "Frame1", "Form1", {3840, 720, 4695, 6855}, ""},
        {f.TimeMeter(), "TimeMeter", "Frame1", {240, 6360, 4215, 255}, "-"},
        {f.Label1(), "Label1", "Frame1", {840, 6360, 2775, 495}, "DragDropLabel", sans1125},
        {f.Label2(), "Label2", "Form1", {120, 7680, 6615, 255}, "Label2"},
        {t.Picture2(), "Picture2", "Title", {2400, 120, 1050, 420}, ""},
        {t.Label1(), "Label1", "Title", {2280, 600, 1335, 255}, "version 2.6.7", serif},
    };
    // The picture buttons stand 720 apart; left to right on the screen: 6, 1, 4, 5, 3, 2.
    const int screenOrder[] = {6, 1, 4, 5, 3, 2};
    for (int i = 0; i < 6; ++i) {
        const int n = screenOrder[i];
        const QRect place(4200 + 720 * i, 120, 600, 600);
        rows.push_back({f.SSCommand(n), QString("SSCommand%1").arg(n), "Form1", place, ""});
    }
    for (int deck = 1; deck <= kDeckCount; ++deck) {
        const int y = 360 + 600 * (deck - 1);
        const QString n = QString::number(deck);
        rows.insert(rows.end(), {
            {f.DeckLock(deck), "DeckLock_" + n, "Frame1", {240, y, 495, 495}, n, bold18},
            {f.DeckLabel(deck), "DeckLabel_" + n, "Frame1", {840, y, 2775, 495}, "Label2", sans975},
            {f.TimeLabel(deck), "TimeLabel_" + n, "Frame1", {3720, y, 735, 255}, "0:00:00"},
            {f.PlayMode(deck), "PlayMode_" + n, "Frame1", {3720, y + 240, 735, 255}, ""}});
    }
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name.toStdString());
        EXPECT_EQ(row.control->objectName(), row.name);
        EXPECT_EQ(row.control->parentWidget()->objectName(), row.container);
        const QRect& r = row.twips;
        const QPoint border = row.container == "Title" ? QPoint(1, 1) : QPoint();
        EXPECT_EQ(row.control->geometry().translated(-border),
                  QRect(r.x() / 15, r.y() / 15, r.width() / 15, r.height() / 15));
        EXPECT_EQ(captionOf(row.control), row.caption);
        EXPECT_EQ(fontOf(row.control), row.font);
        if (const auto* label = qobject_cast<const EventLabel*>(row.control)) {
            EXPECT_EQ(label->property("Index").toString(), row.name.section('_', 1));
            EXPECT_EQ(label->alignment(), Qt::AlignCenter);
            EXPECT_NE(label->frameShape(), QFrame::NoFrame);
            EXPECT_EQ(label->dropEnabled(), row.name.startsWith("DeckLabel"));
            EXPECT_TRUE(!row.name.startsWith("DeckLock") || label->background() == 0xFFFF00u);
        }
        if (const auto* button = qobject_cast<const PictureButton*>(row.control)) {
            EXPECT_FALSE(button->icon().isNull());
            EXPECT_EQ(button->iconSize(), QSize(32, 32));
            EXPECT_EQ(button->dropEnabled(), row.name == "SSCommand4");
        }
    }

    EXPECT_EQ(f.Label3()->alignment(), Qt::AlignCenter);
    EXPECT_EQ(f.Label3()->palette().color(f.Label3()->backgroundRole()), QColor(192, 192, 192));
    EXPECT_TRUE(f.Label3()->autoFillBackground());
    EXPECT_EQ(t.Label1()->alignment(), Qt::AlignCenter);
    EXPECT_EQ(f.Picture1()->pixmap().deviceIndependentSize(), QSizeF(70, 28));
    EXPECT_EQ(t.Picture2()->pixmap().deviceIndependentSize(), QSizeF(70, 28));
    EXPECT_EQ(f.TimeMeter()->minimum(), 0);
    EXPECT_EQ(f.TimeMeter()->maximum(), 60);
    EXPECT_FALSE(f.TimeMeter()->isTextVisible());
    EXPECT_TRUE(f.File1()->uniformItemSizes());

    // The tab strip's row of tabs and its page share the design area; the list lies over
    // the page, and the hidden deck proxy under the meter.
    const QWidget* page = f.findChild<QWidget*>("TabStrip1Page");
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(f.TabStrip1()->geometry().united(page->geometry()), QRect(8, 24, 233, 393));
    EXPECT_EQ(f.TabStrip1()->parentWidget(), f.Frame2());
    const QObjectList& library = f.Frame2()->children();
    EXPECT_GT(library.indexOf(f.File1()), library.indexOf(page));
    EXPECT_GT(library.indexOf(f.TabStrip1()), library.indexOf(page));
    EXPECT_TRUE(page->geometry().contains(f.File1()->geometry()));
    EXPECT_LT(f.Frame1()->children().indexOf(f.Label1()),
              f.Frame1()->children().indexOf(f.TimeMeter()));
}

// Only the ten controls of the tab order take the focus; the first holds it when the window
// opens, Space presses it, and Tab walks them in order and wraps around. The drag proxies
// stay hidden and the status label lies outside the client area.
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
    QSignalSpy clicks(form.SSCommand1(), &QPushButton::clicked);
    QTest::keyClick(form.SSCommand1(), Qt::Key_Space);
    EXPECT_EQ(clicks.count(), 1);
    for (int step = 1; step <= order.size(); ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), order.at(step % order.size())) << step;
    }
    EXPECT_FALSE(form.Label1()->isVisible());
    EXPECT_FALSE(form.Label42()->isVisible());
    // The status line is seen whole, under the frames.
    form.Label2()->setText("status");
    EXPECT_EQ(form.Label2()->visibleRegion(), QRegion(form.Label2()->rect()));
}

// Every paint of the title window is announced, and the border is drawn around it. The
// pictures come out of the resources (which a static library can lose at link time) and are
// drawn, not blank; the logo is opaque.
TEST(Layout, TitlePaintAndArtwork) {
    Title title;
    QSignalSpy painted(&title, &Title::painted);
    const QImage image = title.grab().toImage();
    EXPECT_EQ(painted.count(), 1);
    title.grab();
    EXPECT_EQ(painted.count(), 2);
    const QColor border = title.palette().color(QPalette::WindowText);
    EXPECT_EQ(image.pixelColor(0, 0), border);
    EXPECT_EQ(image.pixelColor(image.width() - 1, image.height() - 1), border);
    EXPECT_NE(image.pixelColor(1, 100), border);

    auto opaque = [](QColor c) {
        return c.alpha() == 255;
    };
    for (const QIcon& icon :
         {artwork::windowIcon(), artwork::filingCabinet(), artwork::wrench(), artwork::wasteBin(),
          artwork::aboutBubble(), artwork::helpBubble(), artwork::exitDoor()}) {
        const QImage picture = icon.pixmap(artwork::kIconSize).toImage();
        ASSERT_EQ(picture.size(), artwork::kIconSize);
        EXPECT_GT(countPixels(picture, opaque), 32 * 32 / 8);
        EXPECT_LT(countPixels(picture, opaque), 32 * 32);
    }
    const QImage arrow = artwork::dragArrow().toImage();
    EXPECT_EQ(arrow.size(), QSize(32, 32));
    EXPECT_GT(countPixels(arrow, opaque), 50);
    const QImage logo = artwork::logo().toImage();
    ASSERT_EQ(logo.size(), QSize(70, 28));
    EXPECT_EQ(countPixels(logo, opaque), 70 * 28);
    EXPECT_EQ(artwork::logo(2.0).toImage().size(), QSize(140, 56));
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

    label.resize(40, 20);
    for (quint32 colour : {0x000000u, 0xFFFF00u, 0x00FF00u, 0x808080u}) {
        label.setBackground(colour);
        EXPECT_EQ(label.background(), colour);
        // The middle of the label, inside the border and away from the empty caption.
        EXPECT_EQ(label.grab().toImage().pixel(20, 10) & 0xFFFFFFu, colour);
    }
}

TEST(Controls, PictureButtonCentresItsIconInABevel) {
    PictureButton button;
    QPixmap red(32, 32);
    red.fill(Qt::red);
    button.setIcon(QIcon(red));
    EXPECT_EQ(button.sizeHint(), QSize(40, 40));
    button.resize(button.sizeHint());
    const QImage face = button.grab().toImage();
    EXPECT_EQ(face.pixelColor(4, 4), QColor(Qt::red));
    EXPECT_EQ(face.pixelColor(35, 35), QColor(Qt::red));
    EXPECT_NE(face.pixelColor(3, 20), QColor(Qt::red));
    EXPECT_NE(face.pixelColor(36, 20), QColor(Qt::red));
}

// Only our payload names a proxy, and only from a drag of this process: a drop that came
// from elsewhere (here a synthetic one, as from another program) is refused.
TEST(Controls, OnlyOurProxyFromThisProcessIsDropped) {
    for (DragProxy proxy : {DragProxy::Label1, DragProxy::Label42}) {
        QMimeData mime;
        setDragProxy(mime, proxy);
        EXPECT_EQ(dragProxyOf(&mime), proxy);
    }
    QMimeData none, text, junk;
    setDragProxy(none, DragProxy::None);
    EXPECT_TRUE(none.formats().isEmpty());
    text.setText("Label1");
    junk.setData(kDragProxyMimeType, QByteArray("Label4\0", 7));
    for (const QMimeData* mime : {&none, &text, &junk, static_cast<QMimeData*>(nullptr)})
        EXPECT_EQ(dragProxyOf(mime), DragProxy::None);

    Form1 form;
    int drops = 0;
    QObject::connect(form.DeckLabel(1), &EventLabel::dropped, [&] { ++drops; });
    QObject::connect(form.SSCommand4(), &PictureButton::dropped, [&] { ++drops; });
    QMimeData mime;
    setDragProxy(mime, DragProxy::Label1);
    for (QWidget* target : QList<QWidget*>{form.DeckLabel(1), form.SSCommand4()}) {
        QDragEnterEvent enter(QPoint(5, 5), Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        EXPECT_FALSE(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        EXPECT_FALSE(drop.isAccepted());
    }
    EXPECT_EQ(drops, 0);
}

// Keys as the key map numbers them; the keypad and Meta bits are not part of the shift state.
TEST(QtKeys, TranslatesKeysAndModifiersToTheNumericCodes) {
    // clang-format off
    const std::pair<Qt::Key, int> keys[] = {{Qt::Key_F1, 112}, {Qt::Key_F10, 121},
        {Qt::Key_F11, 122}, {Qt::Key_F12, 123}, {Qt::Key_A, 65}, {Qt::Key_7, 55},
        {Qt::Key_Down, 40}, {Qt::Key_Return, 13}, {Qt::Key_MediaPlay, 0}};
    const std::pair<Qt::KeyboardModifiers, int> modifiers[] = {{Qt::NoModifier, 0},
        {Qt::ShiftModifier, 1}, {Qt::ControlModifier, 2}, {Qt::AltModifier, 4},
        {Qt::ShiftModifier | Qt::ControlModifier, 3}, {Qt::KeypadModifier | Qt::MetaModifier, 0}};
    // clang-format on
    for (const auto& [key, code] : keys)
        EXPECT_EQ(VirtualKeyCode(key), code) << key;
    for (const auto& [held, shift] : modifiers)
        EXPECT_EQ(ShiftState(held), shift) << held;
}

// Each style shows its text, caption, buttons, icon and default button, which Enter
// answers; Escape on a Yes/No box is No, never Yes.
TEST(QtMessageBoxes, EachStyleShowsItsButtonsIconAndDefault) {
    using Box = QMessageBox;
    struct Case {
        int style;
        Box::Icon icon;
        Box::StandardButton defaultButton; // NoButton: an OK box
        int answer;
        Qt::Key key = Qt::Key_Return;
    };
    // clang-format off
    const Case cases[] = {
        {MessageBoxes::kOkStop, Box::Critical, Box::NoButton, MessageBoxes::kOk},
        {MessageBoxes::kYesNoQuestion, Box::Question, Box::Yes, MessageBoxes::kYes},
        {MessageBoxes::kOkExclamation, Box::Warning, Box::NoButton, MessageBoxes::kOk},
        {MessageBoxes::kYesNoExclamationNoDef, Box::Warning, Box::No, MessageBoxes::kNo},
        {MessageBoxes::kYesNoQuestion, Box::Question, Box::Yes, MessageBoxes::kNo, Qt::Key_Escape}};
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.style << " " << c.key);
        bool shown = false;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<Box*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            shown = true;
            EXPECT_EQ(box->text(), "Exit Airloom?");
            EXPECT_EQ(box->windowTitle(), "Are you sure you want to exit?");
            EXPECT_EQ(box->icon(), c.icon);
            const bool ok = c.defaultButton == Box::NoButton;
            EXPECT_EQ(box->standardButtons(), ok ? Box::Ok : Box::Yes | Box::No);
            EXPECT_TRUE(ok || box->standardButton(box->defaultButton()) == c.defaultButton);
            QTest::keyClick(box, c.key);
        });
        QtMessageBoxes boxes;
        EXPECT_EQ(boxes.MsgBox("Exit Airloom?", c.style, "Are you sure you want to exit?"),
                  c.answer);
        EXPECT_TRUE(shown);
    }
}
