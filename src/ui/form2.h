#pragma once

#include "common/decks.h"
#include "ui/controls.h"

#include <QComboBox>
#include <QListView>
#include <QRadioButton>
#include <QWidget>
#include <array>

class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QScrollBar;

// Dir1's list: one row per folder, indented by its depth (the item's Qt::UserRole). A
// double-click with the left button or Enter on a row asks to open it.
class FolderList : public QListView {
    Q_OBJECT
public:
    static constexpr int kDepthRole = Qt::UserRole;
    static constexpr int kIndent = 8;

    explicit FolderList(QWidget* parent = nullptr);

signals:
    void openRequested(int row);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

// Drive1's list: tells when the operator opens it, so that it can list the volumes
// mounted by then.
class DriveList : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    void showPopup() override;

signals:
    void droppingDown();
};

// A deck-default button: a press anywhere on it chooses it, not only on its circle.
class OptionButton : public QRadioButton {
    Q_OBJECT
public:
    using QRadioButton::QRadioButton;

protected:
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

// The configuration window: the "Call letters", "Category Configuration", "Deck Defaults"
// and (covered by the category group) "Add/Remove Categories" groups, the exit button and
// the help line. A pure view: it creates the controls with their design-time look and hands
// them out by name. Object names are the control names; the option buttons are named
// "Option<deck>_<index>" and carry the index in the dynamic property "Index".
//
// It has no title-bar buttons and no taskbar entry: its exit button closes it. A close from
// anywhere else (a window manager's close button or Alt+F4) is refused; its owner closes it
// with dismiss().
class Form2 : public QWidget {
    Q_OBJECT
public:
    explicit Form2(QWidget* parent = nullptr);

    QGroupBox* Frame1() const { return m_frame1; } // "Category Configuration"
    QGroupBox* Frame2() const { return m_frame2; } // "Deck Defaults"
    QGroupBox* Frame3() const { return m_frame3; } // "Call letters"
    QGroupBox* Frame4() const { return m_frame4; } // "Add/Remove Categories", covered
    QLabel* Label1() const { return m_label1; }    // the help line
    QLineEdit* Text2() const { return m_text2; }   // call letters
    PictureButton* SSCommand1() const { return m_ssCommand1; }

    QLabel* Label16() const { return m_label16; } // "Category n"
    QScrollBar* VScroll1() const { return m_vscroll1; }
    SearchBox* Text1() const { return m_text1; } // category name
    DriveList* Drive1() const { return m_drive1; }
    FolderList* Dir1() const { return m_dir1; }
    QPushButton* Command1() const { return m_command1; }

    // Deck = 1..10, index = 0 (Norm), 1 (Seqnc), 2 (Loop).
    QWidget* Picture(int deck) const { return m_picture.at(deck - 1); }
    OptionButton* Option(int deck, int index) const { return m_option.at(deck - 1).at(index); }

    QListWidget* List1() const { return m_list1; }
    QPushButton* buttonPositionUp() const { return m_positionUp; }
    QPushButton* buttonPositionDown() const { return m_positionDown; }
    QPushButton* buttonAddFolder() const { return m_addFolder; }
    QPushButton* buttonRemoveFolder() const { return m_removeFolder; }
    QPushButton* buttonUpdateFolder() const { return m_updateFolder; }

    // Shows a text on the help line, in a smaller size when it would not fit in full.
    void showHelp(const QString& text);

    // The focusable controls in their tab order.
    QList<QWidget*> focusOrder() const;

    // Closes the window for its owner (the exit button's closing, the program's end).
    void dismiss();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createCallLetters();
    void createCategories();
    void createDeckDefaults();
    void createAddRemove();

    QGroupBox* m_frame1 = nullptr;
    QGroupBox* m_frame2 = nullptr;
    QGroupBox* m_frame3 = nullptr;
    QGroupBox* m_frame4 = nullptr;
    QLabel* m_label1 = nullptr;
    QLineEdit* m_text2 = nullptr;
    PictureButton* m_ssCommand1 = nullptr;
    QLabel* m_label16 = nullptr;
    QScrollBar* m_vscroll1 = nullptr;
    SearchBox* m_text1 = nullptr;
    DriveList* m_drive1 = nullptr;
    FolderList* m_dir1 = nullptr;
    QPushButton* m_command1 = nullptr;
    std::array<QWidget*, kDeckCount> m_picture{};
    std::array<std::array<OptionButton*, 3>, kDeckCount> m_option{};
    QListWidget* m_list1 = nullptr;
    QPushButton* m_positionUp = nullptr;
    QPushButton* m_positionDown = nullptr;
    QPushButton* m_addFolder = nullptr;
    QPushButton* m_removeFolder = nullptr;
    QPushButton* m_updateFolder = nullptr;
    bool m_dismissing = false;
};
