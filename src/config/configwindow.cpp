#include "config/configwindow.h"

#include "common/messageboxes.h"
#include "config/settings.h"

#include <QDir>
#include <utility>

using namespace SettingsKeys;

namespace {

const QString kUnnamed = QStringLiteral("- - - - - -");
const QString kTitle = QStringLiteral("Airloom");

QString captionOf(int category) {
    return QStringLiteral("Category %1").arg(category);
}

} // namespace

ConfigWindow::ConfigWindow(ProfileFile& file, StationSettings& settings, MessageBoxes& boxes,
                           std::function<void()> applySettings, VolumeSource volumes,
                           QObject* parent)
    : QObject(parent), m_file(file), m_settings(settings), m_boxes(boxes),
      m_applySettings(std::move(applySettings)),
      // The folder box starts in the program's current folder, as a new folder box does.
      m_folderBox(QDir::currentPath()), m_driveBox(std::move(volumes)) {
    m_driveBox.showVolumeOf(m_folderBox.Path());
}

QString ConfigWindow::HelpText(Surface surface) {
    switch (surface) {
    case Surface::Window:
        return {};
    case Surface::CategoryGroup:
        return QStringLiteral(
            "Select a Category (1-10) and assign a name to it (PSA's, ID's, NEWS, etc.). Then "
            "select a drive and folder where the audio files are stored for this category.");
    case Surface::CategoryName:
        return QStringLiteral("This box displays the name of the currently selected category and "
                              "allows you to change the name. ");
    case Surface::Folders:
        return QStringLiteral(
            "Use this box to choose a folder for this category. Each category can (and should) "
            "have a separate folder. For example: Station ID's might be stored in /ID while "
            "PSA's might be stored in /PSA.");
    case Surface::SaveButton:
        return QStringLiteral("Click this button after selecting category name and folder to make "
                              "changes permanent.");
    case Surface::DeckDefaults:
        return QStringLiteral(
            "Use these option buttons to configure the default mode for each cart deck. Normal "
            "Mode: Cart plays and stops when complete. Sequence Mode: Cart Plays and then fires "
            "next deck if a file is loaded in it. Loop Mode: Cart loops until it is stopped "
            "manually.");
    case Surface::CallLetters:
        return QStringLiteral(
            "Sets the call letters for display on the main screen. Max 7 characters.");
    case Surface::ExitButton:
        return QStringLiteral("Exits the configuration program.");
    }
    return {};
}

void ConfigWindow::Form2_Form_Load() {
    m_helpLine.clear();
    emit helpLineChanged();
    m_settings.setConfigLoading(true);
    ShowFirstCategory();
    // Selecting the stored modes is no choice of the operator's: nothing is written.
    for (int deck = 1; deck <= kDeckCount; ++deck)
        m_deckDefaults[deck - 1] =
            DeckModeIndex(m_file.Read(DeckSection(deck), kMode, kDefaultMode, kConfigCapacity));
    emit deckDefaultsChanged();
    m_settings.setConfigLoading(false);
    m_callLetters = m_file.Read(kGlobal, kCallsign, kDefaultCallsign, kConfigCapacity).toUpper();
    emit callLettersChanged();
}

void ConfigWindow::ShowFirstCategory() {
    // A folder that cannot be opened leaves the folder box where it started, silently.
    setFolder(ReadCategoryPath(m_file, 1));
    m_categoryCaption = captionOf(m_selector);
    setCategoryName(m_file.Read(CategorySection(1), kName, kUnnamed, kConfigCapacity));
    m_shownCategory = m_selector;
    emit categoryChanged();
}

bool ConfigWindow::ConfirmCategorySave() {
    if (m_categoryDirty) {
        const int answer = m_boxes.MsgBox(
            QStringLiteral("You have made changes that are not saved, save them now?"),
            MessageBoxes::kYesNoQuestion, QStringLiteral("Warning!, changes not saved!"));
        // The edits belong to the category whose name and folder the controls were filled
        // from, wherever the selector stands by now.
        if (answer == MessageBoxes::kYes && !saveCategory(m_shownCategory))
            return false;
    }
    m_categoryDirty = false;
    return true;
}

void ConfigWindow::Form2_VScroll1_Change(int category) {
    if (category < 1 || category > kCategoryCount)
        return;
    m_selector = category;
    if (!ConfirmCategorySave()) {
        // The edits that could not be saved stay in front of the operator.
        m_selector = m_shownCategory;
        emit categoryChanged();
        return;
    }
    const QString path = ReadCategoryPath(m_file, category);
    const FolderBox::OpenResult opened = setFolder(path);
    m_categoryCaption = captionOf(category);
    emit categoryChanged();
    if (opened == FolderBox::OpenResult::Missing)
        m_boxes.MsgBox(QStringLiteral("The path for this entry: ") + path +
                           QStringLiteral(" is invalid!"),
                       0, kTitle);
    setCategoryName(m_file.Read(CategorySection(category), kName, kUnnamed, kConfigCapacity));
    // The window's own changes are not edits.
    m_categoryDirty = false;
    m_shownCategory = category;
    emit categoryChanged();
}

void ConfigWindow::Form2_VScroll1_Scroll() {
    ConfirmCategorySave();
}

void ConfigWindow::Form2_Command1_Click() {
    if (saveCategory(m_selector))
        m_categoryDirty = false;
}

void ConfigWindow::Form2_Text1_Change(const QString& text) {
    setCategoryName(text);
}

void ConfigWindow::setCategoryName(const QString& text) {
    if (text == m_categoryName)
        return;
    m_categoryName = text;
    if (!m_settings.ConfigLoading())
        m_categoryDirty = true;
    emit categoryChanged();
}

void ConfigWindow::Form2_Dir1_Change() {
    if (!m_settings.ConfigLoading())
        m_categoryDirty = true;
}

FolderBox::OpenResult ConfigWindow::setFolder(const QString& folder) {
    const FolderBox::OpenResult opened = m_folderBox.setPath(folder);
    if (opened == FolderBox::OpenResult::Opened)
        Form2_Dir1_Change();
    m_driveBox.showVolumeOf(m_folderBox.Path());
    emit folderChanged();
    return opened;
}

void ConfigWindow::Form2_Dir1_Open(int row) {
    if (row >= 0 && row < m_folderBox.entries().size())
        setFolder(m_folderBox.entries().at(row).path);
}

void ConfigWindow::Form2_Drive1_DropDown() {
    m_driveBox.readVolumes();
    m_driveBox.showVolumeOf(m_folderBox.Path());
    emit folderChanged();
}

void ConfigWindow::Form2_Drive1_Change(int row) {
    if (row < 0 || row >= m_driveBox.volumes().size() || row == m_driveBox.ListIndex())
        return;
    // A volume that cannot be read leaves the folder box where it was, and the drive box
    // goes back to that folder's volume.
    setFolder(m_driveBox.volumes().at(row).root);
}

void ConfigWindow::Form2_Text2_Change(const QString& text) {
    m_callLetters = text.left(kCallLettersLength);
    emit callLettersChanged();
}

void ConfigWindow::Form2_Option_Click(int deck, int index) {
    if (deck < 1 || deck > kDeckCount || index < 0 || index > 2)
        return;
    const int shown = std::exchange(m_deckDefaults[deck - 1], index);
    emit deckDefaultsChanged();
    if (!written(m_settings.SaveDeckMode(deck, index),
                 QStringLiteral("The default mode of deck %1 was not saved.").arg(deck))) {
        // The row shows the mode that is stored.
        m_deckDefaults[deck - 1] = shown;
        emit deckDefaultsChanged();
    }
}

void ConfigWindow::MouseMove(Surface surface) {
    const QString text = HelpText(surface);
    if (text == m_helpLine)
        return;
    m_helpLine = text;
    emit helpLineChanged();
}

void ConfigWindow::Form2_SSCommand1_Click() {
    // What could not be saved stays in the open window, to be tried again.
    if (!ConfirmCategorySave() || !written(m_file.Write(kGlobal, kCallsign, m_callLetters),
                                           QStringLiteral("The call letters were not saved.")))
        return;
    m_applySettings();
    emit closeRequested();
}

bool ConfigWindow::saveCategory(int category) {
    const QString section = CategorySection(category);
    const QString failure = QStringLiteral("Category %1 was not saved.").arg(category);
    // The name goes first; when it cannot be written the folder is not tried either, so a
    // failed save is reported once.
    return written(m_file.Write(section, kName, m_categoryName), failure) &&
           written(m_file.Write(section, kPath, m_folderBox.Path()), failure);
}

bool ConfigWindow::written(const ProfileFile::WriteResult& result, const QString& failure) {
    if (result.ok)
        return true;
    m_boxes.MsgBox(failure + QLatin1Char(' ') + result.error, MessageBoxes::kOkStop, kTitle);
    return false;
}
