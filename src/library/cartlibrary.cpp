#include "library/cartlibrary.h"

#include "common/cartselection.h"
#include "common/messageboxes.h"
#include "config/settings.h"
#include "decks/deckengine.h"
#include "library/cartlist.h"
#include "library/categorytabs.h"

#include <QFile>
#include <cerrno>
#include <unistd.h>

CartLibrary::CartLibrary(CartList& list, CategoryTabs& tabs, StationSettings& settings,
                         const DeckEngine& decks, MessageBoxes& boxes)
    : m_list(list), m_tabs(tabs), m_settings(settings), m_decks(decks), m_boxes(boxes) {}

void CartLibrary::LoadSettings() {
    m_settings.ReadCategoryNames();
    m_tabs.Clear();
    for (int category = 1; category <= SettingsKeys::kCategoryCount; ++category)
        m_tabs.Add(category, m_settings.CategoryNames(category));

    // A category 1 folder that cannot be listed ends the routine here: the tabs and names
    // stay as read, the call letters keep their previous caption.
    if (!m_list.setPath(m_settings.CategoryPath(1))) {
        ShowCategoryPathError(m_boxes);
        return;
    }
    m_settings.ShowCallLetters();
}

void CartLibrary::Form1_TabStrip1_Click() {
    const int category = m_tabs.SelectedIndex();
    if (category < 1)
        return; // no tabs yet
    // Read afresh on every click: the configuration window may have changed it.
    if (!m_list.setPath(m_settings.CategoryPath(category)))
        ShowCategoryPathError(m_boxes);
}

bool CartLibrary::RefreshCartList() {
    if (m_list.Refresh())
        return true;
    ShowCategoryPathError(m_boxes);
    return false;
}

void CartLibrary::DeleteCart() {
    // Without a selection the path would be the folder itself: never offer to delete it.
    const QString fileName = m_list.FileName();
    if (fileName.isEmpty())
        return;
    const QString path = JoinCartPath(m_list.Path(), fileName);

    // Exact comparison: a path spelled in another case names another file here.
    for (int deck = 1; deck <= kDeckCount; ++deck) {
        if (m_decks.FilePath(deck) == path) {
            m_boxes.MsgBox(QStringLiteral("Remove file from deck before deleting."),
                           MessageBoxes::kOkExclamation,
                           QStringLiteral("File selected for delete is loaded in machine!"));
            return;
        }
    }

    const int answer =
        m_boxes.MsgBox(QStringLiteral("Are you sure you want to delete the file: ") +
                           path.toUpper() + QStringLiteral("?  "),
                       MessageBoxes::kYesNoExclamationNoDef,
                       QStringLiteral("You are about to permanently delete a file!"));
    if (answer != MessageBoxes::kYes)
        return;

    // unlink removes a symbolic link itself, never its target, and refuses a folder.
    const QByteArray encoded = QFile::encodeName(path);
    if (::unlink(encoded.constData()) != 0) {
        const QString reason = qt_error_string(errno);
        m_boxes.MsgBox(QStringLiteral("The file %1 could not be deleted: %2.").arg(path, reason),
                       MessageBoxes::kOkStop, QStringLiteral("File could not be deleted!"));
        return;
    }
    RefreshCartList();
}
