#include "app/appprelisten.h"

#include "app/statusline.h"
#include "audio/supervisedoutput.h"
#include "common/decks.h"
#include "decks/deckengine.h"
#include "decks/prelisten.h"
#include "library/cartlist.h"
#include "ui/controls.h"
#include "ui/form1.h"

#include <QDir>
#include <QKeyEvent>
#include <QMouseEvent>

namespace {

constexpr char kOutputLost[] =
    "Pre-listen output lost: carts cannot be pre-listened until it returns.";

} // namespace

PreListenBinding::PreListenBinding(Form1& form, CartList& list, DeckEngine& decks,
                                   PreListen& preListen, StatusLine& status,
                                   SupervisedOutput* output, QObject* parent)
    : QObject(parent), m_form(form), m_list(list), m_decks(decks), m_preListen(preListen),
      m_status(status), m_output(output) {
    // Its clock is not news: it keeps its place among the messages.
    connect(&preListen, &PreListen::statusChanged, this,
            [this](const QString& text) { m_status.update(kSource, text); });
    if (output) {
        connect(output, &SupervisedOutput::lost, this, [this] {
            m_preListen.outputLost();
            m_status.set(kOutputSource, QString::fromUtf8(kOutputLost));
        });
        connect(output, &SupervisedOutput::restored, this,
                [this] { m_status.clear(kOutputSource); });
    }
    form.File1()->installEventFilter(this);
    form.File1()->viewport()->installEventFilter(this);
    for (int deck = 1; deck <= kDeckCount; ++deck)
        form.DeckLabel(deck)->installEventFilter(this);
}

bool PreListenBinding::ready() {
    if (!m_output || !m_output->isLost())
        return true;
    // Said again, as the newest message, to the operator who asked.
    m_status.set(kOutputSource, QString::fromUtf8(kOutputLost));
    return false;
}

QString PreListenBinding::listPath(int row) const {
    if (row < 0 || row >= m_list.names().size())
        return {};
    return QDir(m_list.Path()).filePath(m_list.names().at(row));
}

bool PreListenBinding::eventFilter(QObject* watched, QEvent* event) {
    // Never consumed: the list's and the labels' own handling goes on.
    if (event->type() == QEvent::KeyPress && watched == m_form.File1()) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QString selected = listPath(m_list.ListIndex());
        if (key->key() == Qt::Key_Escape) {
            m_preListen.stop();
        } else if (key->key() == Qt::Key_Space && !key->isAutoRepeat() && !selected.isEmpty() &&
                   ready()) {
            if (key->modifiers() == Qt::ShiftModifier)
                m_preListen.jumpToEnd(selected);
            else if (key->modifiers() == Qt::NoModifier)
                m_preListen.toggle(selected);
        }
        return false;
    }
    if (event->type() != QEvent::MouseButtonRelease ||
        static_cast<QMouseEvent*>(event)->button() != Qt::MiddleButton)
        return false;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    QString path;
    if (watched == m_form.File1()->viewport()) {
        path = listPath(m_form.File1()->indexAt(mouse->position().toPoint()).row());
    } else {
        for (int deck = 1; deck <= kDeckCount; ++deck) {
            if (watched == m_form.DeckLabel(deck))
                path = m_decks.FilePath(deck);
        }
    }
    if (!path.isEmpty() && ready())
        m_preListen.toggle(path);
    return false;
}
