#include "ui/qtdrag.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

DragStarter::DragStarter(QWidget* source, Start start, QObject* parent)
    : QObject(parent), m_source(source), m_start(std::move(start)) {
    source->installEventFilter(this);
}

bool DragStarter::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_source)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        m_armed = true;
        m_pressPos = static_cast<QMouseEvent*>(event)->position().toPoint();
        return false;
    }
    case QEvent::MouseButtonRelease:
        m_armed = false;
        return false;
    case QEvent::MouseMove: {
        if (!m_armed)
            return false;
        const auto* move = static_cast<QMouseEvent*>(event);
        if (move->buttons() == Qt::NoButton) {
            m_armed = false;
            return false;
        }
        const QPoint travel = move->position().toPoint() - m_pressPos;
        if (travel.manhattanLength() >= QApplication::startDragDistance()) {
            m_armed = false;
            m_start(m_pressPos);
        }
        return true;
    }
    default:
        return false;
    }
}
