#pragma once

#include "common/decks.h"
#include "config/folderbox.h"
#include "config/profilefile.h"

#include <QObject>
#include <QString>
#include <array>
#include <functional>

class MessageBoxes;
class StationSettings;

// The behaviour of the configuration window Form2: the category group (the selector
// VScroll1, Label16, the name box Text1, the drive box Drive1 and the folder box Dir1, the
// save button Command1 and the unsaved-changes prompt), the deck defaults, the call letters,
// the help line and the closing. It owns what those controls show and the state
// ShownCategory and CategoryDirty; the window renders it and forwards its events here.
//
// Every write to Vidav.ini that fails is reported in one message box naming the file and
// the reason, and nothing typed is lost: a deck-default row goes back to the stored mode, a
// category edit stays shown and unsaved, and the window stays open, so that the next try
// can succeed. Each opening of the window gets a new one.
// UI thread only; reads and writes the settings file and reads folders.
class ConfigWindow : public QObject {
    Q_OBJECT
public:
    static constexpr int kCategoryCount = 10;
    static constexpr int kCallLettersLength = 10;

    // The surfaces that explain themselves on the help line Label1.
    enum class Surface {
        Window,
        CategoryGroup,
        CategoryName,
        Folders,
        SaveButton,
        DeckDefaults,
        CallLetters,
        ExitButton
    };

    // applySettings runs when the window closes, after the call letters are written: the
    // main window's LoadSettings and a fresh read of its cart list.
    ConfigWindow(ProfileFile& file, StationSettings& settings, MessageBoxes& boxes,
                 std::function<void()> applySettings, VolumeSource volumes,
                 QObject* parent = nullptr);

    // Opening: the help line cleared, category 1, the deck defaults, the call letters
    // upper-cased. Writes nothing.
    void Form2_Form_Load();
    void ShowFirstCategory();

    // Offers the unsaved edits of the category shown for saving under its own number. False
    // when the operator said Yes and the save failed: the edits stay, and the caller stays on
    // the category.
    bool ConfirmCategorySave();
    // The selector moved to category (1..10); the thumb being dragged.
    void Form2_VScroll1_Change(int category);
    void Form2_VScroll1_Scroll();
    // "Set &Folder && Name": saves the name and folder under the selector's category.
    void Form2_Command1_Click();
    // The operator edited the name box.
    void Form2_Text1_Change(const QString& text);
    // The operator opened a row of the folder box (double-click or Enter).
    void Form2_Dir1_Open(int row);
    // The operator opens the drive box: it lists the volumes mounted by now.
    void Form2_Drive1_DropDown();
    // The operator picked a volume (row of the drive box).
    void Form2_Drive1_Change(int row);
    // The operator edited the call-letters box.
    void Form2_Text2_Change(const QString& text);
    // A deck-default button (mode index 0, 1, 2) of a deck (1..10) was clicked.
    void Form2_Option_Click(int deck, int index);
    // The pointer moves over a surface.
    void MouseMove(Surface surface);
    // The exit button: the prompt, the call letters written, the main window brought in
    // line with the file; then closeRequested(). A failed write keeps the window open.
    void Form2_SSCommand1_Click();

    // What the controls show.
    int categorySelector() const { return m_selector; }
    const QString& categoryCaption() const { return m_categoryCaption; }
    const QString& categoryName() const { return m_categoryName; }
    const QString& callLetters() const { return m_callLetters; }
    const FolderBox& folderBox() const { return m_folderBox; }
    const DriveBox& driveBox() const { return m_driveBox; }
    int deckDefault(int deck) const { return m_deckDefaults.at(deck - 1); } // mode index
    const QString& helpLine() const { return m_helpLine; }

    int ShownCategory() const { return m_shownCategory; }
    bool CategoryDirty() const { return m_categoryDirty; }

    static QString HelpText(Surface surface);

signals:
    void categoryChanged(); // the selector, its caption, the name
    void folderChanged();   // the folder box, the drive box
    void deckDefaultsChanged();
    void callLettersChanged();
    void helpLineChanged();
    void closeRequested();

private:
    void setCategoryName(const QString& text);
    void Form2_Dir1_Change();
    FolderBox::OpenResult setFolder(const QString& folder);
    bool saveCategory(int category);
    // Whether the write went through; a failure is reported after failure ("The call letters
    // were not saved.").
    bool written(const ProfileFile::WriteResult& result, const QString& failure);

    ProfileFile& m_file;
    StationSettings& m_settings;
    MessageBoxes& m_boxes;
    std::function<void()> m_applySettings;

    int m_selector = 1;
    QString m_categoryCaption = QStringLiteral("Label16");
    QString m_categoryName = QStringLiteral("Text1");
    QString m_callLetters;
    FolderBox m_folderBox;
    DriveBox m_driveBox;
    std::array<int, kDeckCount> m_deckDefaults{};
    QString m_helpLine;

    int m_shownCategory = 0;
    bool m_categoryDirty = false;
};
