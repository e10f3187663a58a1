#pragma once

#include "common/dragproxy.h"

#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPoint>
#include <QPushButton>
#include <QTabBar>
#include <functional>

// The controls of the main window that raise events of their own. Each one only turns
// mouse, focus and drop events into signals; what the events do is decided by whoever
// connects to them. Key presses are not handled here: they reach the key map through an
// event filter.
//
// dropped() is emitted from inside the drop, while the drag is still being finished; a
// slot that opens a modal dialog should be connected with Qt::QueuedConnection.

// A bordered label with centred text: the deck slots, time boxes, mode boxes and deck
// numbers. A click is a left press and release on the label; the second press of a
// double-click raises doubleClicked() instead of pressed(), and no click follows it.
class EventLabel : public QLabel {
    Q_OBJECT
public:
    explicit EventLabel(QWidget* parent = nullptr);

    // The background as 0xRRGGBB; the label is painted opaque from the first call on.
    void setBackground(quint32 rgb);
    quint32 background() const;

    // Whether the label accepts a dragged proxy. Off until enabled.
    void setDropEnabled(bool enabled) { setAcceptDrops(enabled); }
    bool dropEnabled() const { return acceptDrops(); }

signals:
    void clicked();
    void doubleClicked();
    void pressed(Qt::MouseButton button);
    void dropped(DragProxy proxy);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool m_leftPressed = false;
};

// A square push button with a bevelled face and a 32 x 32 icon centred on it, no text.
// It takes the focus; Space presses it.
class PictureButton : public QPushButton {
    Q_OBJECT
public:
    static constexpr int kIconSize = 32;
    static constexpr int kSize = 40;

    explicit PictureButton(QWidget* parent = nullptr);

    void setDropEnabled(bool enabled) { setAcceptDrops(enabled); }
    bool dropEnabled() const { return acceptDrops(); }

    QSize sizeHint() const override { return {kSize, kSize}; }

signals:
    void dropped(DragProxy proxy);

protected:
    void paintEvent(QPaintEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

// The category tabs: one row, with scroll arrows when the tabs are wider than the strip.
// The strip is one row high; the page under it is a TabPage.
class TabStrip : public QTabBar {
    Q_OBJECT
public:
    explicit TabStrip(QWidget* parent = nullptr);

    // The height of the row of tabs, whether or not there are tabs yet.
    int rowHeight() const;

protected:
    void wheelEvent(QWheelEvent* event) override;
};

// The framed page under a TabStrip, on which the cart list lies. It only draws the frame.
class TabPage : public QWidget {
    Q_OBJECT
public:
    explicit TabPage(QWidget* parent = nullptr) : QWidget(parent) {}

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The cart list. Rows are all one height, so a folder of ten thousand carts scrolls
// without measuring each row. The model is set by its owner.
class CartListView : public QListView {
    Q_OBJECT
public:
    explicit CartListView(QWidget* parent = nullptr);

protected:
    // Only a left press selects the row under the pointer; other buttons leave the
    // selection alone, so a drag started with them carries the row selected before.
    void mousePressEvent(QMouseEvent* event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override;
};

// The search box. clicked() follows the line edit's own handling of the release, and
// gotFocus() its handling of the focus, so a selection made in a slot stays.
class SearchBox : public QLineEdit {
    Q_OBJECT
public:
    explicit SearchBox(QWidget* parent = nullptr);

signals:
    void clicked();
    void gotFocus();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
};

// One line of text that never runs past the label: a text too long for it ends in "…", and
// the whole text is then the tooltip.
class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

    void setFullText(const QString& text);
    const QString& fullText() const { return m_fullText; }
    // A standing fact the hover shows below the whole text (the output's dropouts), asked
    // for at each hover; never shown in the line.
    void setNote(std::function<QString()> note) { m_note = std::move(note); }
    // What a hover shows: the whole text when it is elided, then the note.
    QString hoverText() const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    void elide();

    QString m_fullText;
    std::function<QString()> m_note;
};
