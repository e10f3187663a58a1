#include "ui/controls.h"

#include "ui/dragproxy.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>
#include <QStyleOptionTab>
#include <QStyleOptionTabWidgetFrame>
#include <QStylePainter>
#include <QToolButton>
#include <QToolTip>
#include <QWheelEvent>
#include <qdrawutil.h>

namespace {

// Accepts a drag that carries one of our proxies and refuses any other.
// Accepts a drag (or drop) that carries one of our proxies, ignores any other, and says
// which proxy it was.
DragProxy acceptProxy(QDropEvent* event) {
    const DragProxy proxy = dragProxyOf(*event);
    if (proxy != DragProxy::None)
        event->acceptProposedAction();
    else
        event->ignore();
    return proxy;
}

} // namespace

// EventLabel

EventLabel::EventLabel(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignCenter);
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
}

void EventLabel::setBackground(quint32 rgb) {
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor::fromRgb(rgb & 0xFFFFFFu));
    setPalette(colours);
    setAutoFillBackground(true);
}

quint32 EventLabel::background() const {
    return palette().color(QPalette::Window).rgb() & 0xFFFFFFu;
}

void EventLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        m_leftPressed = true;
    event->accept();
    emit pressed(event->button());
}

void EventLabel::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = event->button() == Qt::LeftButton && m_leftPressed &&
                       rect().contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton)
        m_leftPressed = false;
    event->accept();
    if (click)
        emit clicked();
}

// The second press of a double-click: no press event, and no click on its release.
void EventLabel::mouseDoubleClickEvent(QMouseEvent* event) {
    m_leftPressed = false;
    event->accept();
    if (event->button() == Qt::LeftButton)
        emit doubleClicked();
}

void EventLabel::dragEnterEvent(QDragEnterEvent* event) {
    acceptProxy(event);
}

void EventLabel::dragMoveEvent(QDragMoveEvent* event) {
    acceptProxy(event);
}

void EventLabel::dropEvent(QDropEvent* event) {
    if (const DragProxy proxy = acceptProxy(event); proxy != DragProxy::None)
        emit dropped(proxy);
}

// PictureButton

PictureButton::PictureButton(QWidget* parent) : QPushButton(parent) {
    setIconSize(QSize(kIconSize, kIconSize));
    setFocusPolicy(Qt::StrongFocus);
    setAutoDefault(false);
}

// A raised bevel that sinks while pressed, the icon centred (shifted by one pixel while
// pressed) and a focus rectangle inside the bevel.
void PictureButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const bool sunken = isDown() || isChecked();
    const QBrush face = palette().button();
    qDrawWinButton(&painter, rect(), palette(), sunken, &face);

    QRect iconArea(0, 0, kIconSize, kIconSize);
    iconArea.moveCenter(rect().center());
    if (sunken)
        iconArea.translate(1, 1);
    icon().paint(&painter, iconArea, Qt::AlignCenter,
                 isEnabled() ? QIcon::Normal : QIcon::Disabled);

    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(3, 3, -3, -3);
        focus.backgroundColor = face.color();
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}

void PictureButton::dragEnterEvent(QDragEnterEvent* event) {
    acceptProxy(event);
}

void PictureButton::dragMoveEvent(QDragMoveEvent* event) {
    acceptProxy(event);
}

void PictureButton::dropEvent(QDropEvent* event) {
    if (const DragProxy proxy = acceptProxy(event); proxy != DragProxy::None)
        emit dropped(proxy);
}

// TabStrip

TabStrip::TabStrip(QWidget* parent) : QTabBar(parent) {
    setDrawBase(false);
    setExpanding(false);
    setUsesScrollButtons(true);
    setElideMode(Qt::ElideNone);
    setFocusPolicy(Qt::StrongFocus);
    // The scroll arrows are part of the strip, not stops of their own in the tab order.
    for (QToolButton* arrow : findChildren<QToolButton*>())
        arrow->setFocusPolicy(Qt::NoFocus);
}

// Only a click chooses a category: a stray turn of the wheel must not change the list (or
// raise the error box of a category whose folder is missing).
void TabStrip::wheelEvent(QWheelEvent* event) {
    event->ignore();
}

int TabStrip::rowHeight() const {
    QStyleOptionTab tab;
    tab.initFrom(this);
    tab.shape = shape();
    tab.text = QStringLiteral("Xg");
    const QSize text(fontMetrics().horizontalAdvance(tab.text), fontMetrics().height());
    const int vspace = style()->pixelMetric(QStyle::PM_TabBarTabVSpace, &tab, this);
    return style()
        ->sizeFromContents(QStyle::CT_TabBarTab, &tab, text + QSize(0, vspace), this)
        .height();
}

void TabPage::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionTabWidgetFrame page;
    page.initFrom(this);
    page.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    painter.drawPrimitive(QStyle::PE_FrameTabWidget, page);
}

// CartListView

CartListView::CartListView(QWidget* parent) : QListView(parent) {
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
}

// A press on no row, or a Ctrl+click (or Ctrl+Space) on the selected row, would clear the
// selection; the selected cart stays until another row is chosen.
QItemSelectionModel::SelectionFlags CartListView::selectionCommand(const QModelIndex& index,
                                                                   const QEvent* event) const {
    const QItemSelectionModel::SelectionFlags command = QListView::selectionCommand(index, event);
    if (!index.isValid() || command.testFlag(QItemSelectionModel::Deselect))
        return QItemSelectionModel::NoUpdate;
    return command;
}

void CartListView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        QListView::mousePressEvent(event);
    else
        event->accept();
}

// SearchBox

SearchBox::SearchBox(QWidget* parent) : QLineEdit(parent) {}

void SearchBox::mouseReleaseEvent(QMouseEvent* event) {
    const bool click =
        event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    QLineEdit::mouseReleaseEvent(event);
    if (click)
        emit clicked();
}

void SearchBox::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    emit gotFocus();
}

// ElidedLabel

void ElidedLabel::setFullText(const QString& text) {
    m_fullText = text;
    elide();
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    elide();
}

QString ElidedLabel::hoverText() const {
    const QString note = m_note ? m_note() : QString();
    if (note.isEmpty() || toolTip().isEmpty())
        return toolTip() + note;
    return toolTip() + QLatin1Char('\n') + note;
}

bool ElidedLabel::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip || !m_note)
        return QLabel::event(event);
    const QString text = hoverText();
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), text, this);
    return true;
}

void ElidedLabel::elide() {
    const QString shown =
        fontMetrics().elidedText(m_fullText, Qt::ElideRight, contentsRect().width());
    setText(shown);
    setToolTip(shown == m_fullText ? QString() : m_fullText);
}
