#pragma once

#include "common/decks.h"
#include "ui/controls.h"

#include <QWidget>
#include <array>

class QCloseEvent;
class QGroupBox;
class QLabel;
class QProgressBar;

// The main window: the header strip (logo, call letters, six picture buttons), the cart
// library frame and the ten deck rows with the time meter. A pure view: it creates the
// controls with their design-time look and hands them out by name; the shell binds them
// to the deck engine, the cart list and the settings.
//
// Object names are the control names. The four deck arrays are named with their index
// after an underscore ("DeckLabel_1" .. "DeckLabel_10") and carry it in the dynamic
// property "Index" as well.
class Form1 : public QWidget {
    Q_OBJECT
public:
    static constexpr int kButtonCount = 6;

    explicit Form1(QWidget* parent = nullptr);

    // Deck arrays, deck = 1..10.
    EventLabel* DeckLabel(int deck) const { return m_deckLabel.at(deck - 1); }
    EventLabel* TimeLabel(int deck) const { return m_timeLabel.at(deck - 1); }
    EventLabel* PlayMode(int deck) const { return m_playMode.at(deck - 1); }
    EventLabel* DeckLock(int deck) const { return m_deckLock.at(deck - 1); }

    // Picture buttons by number, n = 1..6 (SSCommand1 .. SSCommand6).
    PictureButton* SSCommand(int n) const { return m_ssCommand.at(n - 1); }
    PictureButton* SSCommand1() const { return SSCommand(1); } // configuration
    PictureButton* SSCommand2() const { return SSCommand(2); } // exit
    PictureButton* SSCommand3() const { return SSCommand(3); } // help
    PictureButton* SSCommand4() const { return SSCommand(4); } // waste bin, drop target
    PictureButton* SSCommand5() const { return SSCommand(5); } // about
    PictureButton* SSCommand6() const { return SSCommand(6); } // refresh the cart list

    TabStrip* TabStrip1() const { return m_tabStrip1; }
    CartListView* File1() const { return m_file1; }
    SearchBox* Text1() const { return m_text1; }

    QLabel* Label1() const { return m_label1; }   // deck drag proxy, hidden
    QLabel* Label2() const { return m_label2; }   // the deck engine's notes, hidden
    QLabel* Label3() const { return m_label3; }   // call letters
    QLabel* Label4() const { return m_label4; }   // "Search"
    QLabel* Label42() const { return m_label42; } // cart-list drag proxy, hidden
    QLabel* Picture1() const { return m_picture1; }
    QProgressBar* TimeMeter() const { return m_timeMeter; }
    QGroupBox* Frame1() const { return m_frame1; } // decks
    QGroupBox* Frame2() const { return m_frame2; } // "Available Carts"
    // The operator's messages, under the frames.
    ElidedLabel* statusLine() const { return m_statusLine; }

    // The pointer picture of a drag of Label42, a curved arrow.
    QPixmap Label42DragIcon() const;

signals:
    // The window is closing, by the exit button or through the window manager.
    void closing();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createHeader();
    void createLibrary();
    void createDecks();
    void createHidden();
    void setFocusOrder();

    std::array<EventLabel*, kDeckCount> m_deckLabel{};
    std::array<EventLabel*, kDeckCount> m_timeLabel{};
    std::array<EventLabel*, kDeckCount> m_playMode{};
    std::array<EventLabel*, kDeckCount> m_deckLock{};
    std::array<PictureButton*, kButtonCount> m_ssCommand{};
    TabStrip* m_tabStrip1 = nullptr;
    CartListView* m_file1 = nullptr;
    SearchBox* m_text1 = nullptr;
    QLabel* m_label1 = nullptr;
    QLabel* m_label2 = nullptr;
    ElidedLabel* m_statusLine = nullptr;
    QLabel* m_label3 = nullptr;
    QLabel* m_label4 = nullptr;
    QLabel* m_label42 = nullptr;
    QLabel* m_picture1 = nullptr;
    QProgressBar* m_timeMeter = nullptr;
    QGroupBox* m_frame1 = nullptr;
    QGroupBox* m_frame2 = nullptr;
};
