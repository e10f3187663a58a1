#pragma once

#include <QObject>
#include <QString>

class CartList;
class DeckEngine;
class Form1;
class PreListen;
class StatusLine;
class SupervisedOutput;

// Binds pre-listening to the main window, where the operator looks for a cart: in the cart
// list, Space pre-listens to the selected cart (again: stops), Shift+Space jumps to its last
// seconds, Escape stops; a middle click pre-listens to the cart under the pointer in the
// list or on a deck (again: stops). None of these keys or buttons does anything else there,
// and the function keys go on to the key map as before. Its line goes to the status line;
// a lost preview output says so there until it is back, and nothing starts meanwhile.
//
// UI thread only.
class PreListenBinding : public QObject {
    Q_OBJECT
public:
    static inline const QString kSource = QStringLiteral("prelisten");
    static inline const QString kOutputSource = QStringLiteral("prelisten-output");

    PreListenBinding(Form1& form, CartList& list, DeckEngine& decks, PreListen& preListen,
                     StatusLine& status, SupervisedOutput* output, QObject* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // False, said again on the status line, while the output is lost.
    bool ready();
    QString listPath(int row) const;

    Form1& m_form;
    CartList& m_list;
    DeckEngine& m_decks;
    PreListen& m_preListen;
    StatusLine& m_status;
    SupervisedOutput* m_output;
};
