#pragma once

#include <QObject>
#include <QSet>
#include <functional>

class QWidget;

// Key presses, translated at the window edge into the numeric key code and shift state
// that the key map works with: F1..F24 are 112..135, letters and digits their upper-case
// character code, the common editing and arrow keys their classic codes, anything else 0.
// The shift state adds 1 for Shift, 2 for Ctrl and 4 for Alt.
int VirtualKeyCode(int qtKey);
int ShiftState(Qt::KeyboardModifiers modifiers);

// Passes every key press of the widgets it watches (a window and some of its controls) to
// one handler, exactly once. Qt hands a key that a control ignores on to its parents, so a
// watched widget forwards only the keys pressed while it holds the focus itself, never one
// that comes up from a child: a window forwards the keys pressed while none of its
// controls has the focus. The key is never consumed: the control's own handling (typing,
// arrows) goes on after the handler. Auto-repeat delivers one press per repeat, and each
// is forwarded. UI thread only.
class KeyForwarder : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(int keyCode, int shift)>;

    explicit KeyForwarder(Handler handler, QObject* parent = nullptr);

    void forwardFrom(QWidget* widget);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Handler m_handler;
    QSet<const QObject*> m_watched;
};
