#include "ui/qtkeys.h"

#include "common/keycodes.h"

#include <QKeyEvent>
#include <QWidget>

int VirtualKeyCode(int qtKey) {
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return VirtualKey::kF1 + (qtKey - Qt::Key_F1);
    // Qt's codes for letters and digits are their upper-case character, as the classic
    // codes are.
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9))
        return qtKey;
    switch (qtKey) {
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Shift:
        return 16;
    case Qt::Key_Control:
        return 17;
    case Qt::Key_Alt:
        return 18;
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_Space:
        return 32;
    case Qt::Key_PageUp:
        return 33;
    case Qt::Key_PageDown:
        return 34;
    case Qt::Key_End:
        return 35;
    case Qt::Key_Home:
        return 36;
    case Qt::Key_Left:
        return 37;
    case Qt::Key_Up:
        return 38;
    case Qt::Key_Right:
        return 39;
    case Qt::Key_Down:
        return 40;
    case Qt::Key_Insert:
        return 45;
    case Qt::Key_Delete:
        return 46;
    default:
        return 0;
    }
}

int ShiftState(Qt::KeyboardModifiers modifiers) {
    int shift = 0;
    if (modifiers & Qt::ShiftModifier)
        shift |= VirtualKey::kShift;
    if (modifiers & Qt::ControlModifier)
        shift |= VirtualKey::kCtrl;
    if (modifiers & Qt::AltModifier)
        shift |= VirtualKey::kAlt;
    return shift;
}

KeyForwarder::KeyForwarder(Handler handler, QObject* parent)
    : QObject(parent), m_handler(std::move(handler)) {}

void KeyForwarder::forwardFrom(QWidget* widget) {
    m_watched.insert(widget);
    widget->installEventFilter(this);
    connect(widget, &QObject::destroyed, this, [this](QObject* gone) { m_watched.remove(gone); });
}

bool KeyForwarder::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return false;
    if (!m_watched.contains(watched))
        return false;
    // A key that a focused child ignored travels on to its parents: it was that child's to
    // forward (or not), so a window's own key-down sees only the keys pressed on it. The
    // key goes to the focus widget of the window, which the window keeps while no window
    // of the program is active (the application's focus widget is null then).
    const auto* widget = static_cast<QWidget*>(watched);
    const QWidget* focus = widget->window()->focusWidget();
    if (focus && focus != widget && widget->isAncestorOf(focus))
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    m_handler(VirtualKeyCode(key->key()), ShiftState(key->modifiers()));
    return false;
}
