#include "config/settings.h"

#include "decks/deckengine.h"
#include "library/cartlist.h"
#include "library/categorytabs.h"
#include "shell/messageboxes.h"

using namespace SettingsKeys;

QString SettingsKeys::CategorySection(int category) {
    return QStringLiteral("cat %1").arg(category);
}

QString SettingsKeys::DeckSection(int deck) {
    return QStringLiteral("deck %1").arg(deck);
}

int DeckModeIndex(const QString& stored) {
    if (stored.isEmpty())
        return 0;
    switch (stored.front().toUpper().unicode()) {
    case u'S':
        return 1;
    case u'L':
        return 2;
    default:
        return 0;
    }
}

QString DeckModeWord(int modeIndex) {
    switch (modeIndex) {
    case 0:
        return QStringLiteral("Norm");
    case 1:
        return QStringLiteral("Seqnc");
    case 2:
        return QStringLiteral("Loop");
    default:
        return {};
    }
}

QString ReadCategoryPath(const ProfileFile& file, int category) {
    return file.Read(CategorySection(category), kPath, kDefaultPath, kPathCapacity);
}

StationSettings::StationSettings(ProfileFile& file, CategoryTabs& tabs, CartList& cartList,
                                 MessageBoxes& boxes, QObject* parent)
    : QObject(parent), m_file(file), m_tabs(tabs), m_cartList(cartList), m_boxes(boxes) {}

void StationSettings::LoadSettings() {
    m_tabs.Clear();
    for (int category = 1; category <= kCategoryCount; ++category) {
        const QString name =
            m_file.Read(CategorySection(category), kName, kNotConfigured, kMainCapacity);
        m_categoryNames[category - 1] = name;
        m_tabs.Add(category, name);
    }

    // A category 1 folder that cannot be listed ends the routine here: the tabs and names
    // stay as read, the call letters keep their previous caption.
    if (!m_cartList.setPath(ReadCategoryPath(m_file, 1))) {
        m_boxes.MsgBox(QStringLiteral("Please check your category directory path."),
                       MessageBoxes::kOkStop, QStringLiteral("File path/access error!"));
        return;
    }

    const QString callLetters = m_file.Read(kGlobal, kCallsign, kDefaultCallsign, kMainCapacity);
    if (callLetters != m_label3) {
        m_label3 = callLetters;
        emit label3Changed(m_label3);
    }
}

QString StationSettings::DeckDefaultMode(int deck) const {
    return DeckModeWord(
        DeckModeIndex(m_file.Read(DeckSection(deck), kMode, kDefaultMode, kConfigCapacity)));
}

void StationSettings::LoadDeckModes(DeckEngine& decks) const {
    for (int deck = 1; deck <= kDeckCount; ++deck)
        decks.SetDeckMode(deck, DeckDefaultMode(deck));
}

ProfileFile::WriteResult StationSettings::SaveDeckMode(int deck, int modeIndex) {
    // While the configuration window selects its own buttons, their clicks are not choices.
    if (m_configLoading)
        return {true, {}};
    const QString word = DeckModeWord(modeIndex);
    if (deck < 1 || deck > kDeckCount || word.isEmpty())
        return {false, QStringLiteral("There is no deck %1 or mode %2.").arg(deck).arg(modeIndex)};
    return m_file.Write(DeckSection(deck), kMode, word);
}

QString StationSettings::CategoryNames(int category) const {
    if (category < 1 || category > kCategoryCount)
        return {};
    return m_categoryNames[category - 1];
}
