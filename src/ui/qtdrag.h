#pragma once

#include <QObject>
#include <QPoint>
#include <functional>

class QWidget;

// Starts a drag from a widget once the pointer, with a button held since a press on the
// widget, has moved the platform's drag distance. Waiting for the move keeps a click and a
// double-click on the widget what they are: the drag loop would otherwise swallow the
// release and the second press. The moves before the drag starts are kept from the widget,
// so a list does not select rows as the pointer passes over them.
//
// UI thread only. start() runs the drag (QDrag::exec) and returns when it is over.
class DragStarter : public QObject {
    Q_OBJECT
public:
    // Runs the drag; pressPos is where the button went down, in the source's coordinates.
    using Start = std::function<void(QPoint pressPos)>;

    // Watches source; mouse events of a list belong to its viewport, which is then the
    // widget to pass.
    DragStarter(QWidget* source, Start start, QObject* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_source;
    Start m_start;
    bool m_armed = false;
    QPoint m_pressPos;
};
