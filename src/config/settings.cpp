#include "config/settings.h"

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
        return DeckMode::kNorm;
    case 1:
        return DeckMode::kSeqnc;
    case 2:
        return DeckMode::kLoop;
    default:
        return {};
    }
}

QString ReadCategoryPath(const ProfileFile& file, int category) {
    return file.Read(CategorySection(category), kPath, kDefaultPath, kPathCapacity);
}

StationSettings::StationSettings(ProfileFile& file, QObject* parent)
    : QObject(parent), m_file(file) {}

void StationSettings::ReadCategoryNames() {
    for (int category = 1; category <= kCategoryCount; ++category)
        m_categoryNames[category - 1] =
            m_file.Read(CategorySection(category), kName, kNotConfigured, kMainCapacity);
}

void StationSettings::ShowCallLetters() {
    const QString callLetters = m_file.Read(kGlobal, kCallsign, kDefaultCallsign, kMainCapacity);
    if (callLetters != m_callLetters) {
        m_callLetters = callLetters;
        emit callLettersChanged(m_callLetters);
    }
}

QString StationSettings::DeckDefaultMode(int deck) const {
    return DeckModeWord(
        DeckModeIndex(m_file.Read(DeckSection(deck), kMode, kDefaultMode, kConfigCapacity)));
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
