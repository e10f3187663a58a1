#pragma once

#include "common/decks.h"
#include "config/profilefile.h"

#include <QObject>
#include <QString>
#include <array>

// The sections and keys of Vidav.ini and their defaults, shared by every reader and writer.
namespace SettingsKeys {
inline constexpr int kCategoryCount = 10;

// Read capacities: the main window's reads and the configuration window's.
inline constexpr int kMainCapacity = 75;
inline constexpr int kConfigCapacity = 80;
// A folder is read whole: a cut path would name another folder, or none.
inline constexpr int kPathCapacity = 4096;

inline const QString kName = QStringLiteral("Name");
inline const QString kPath = QStringLiteral("Path");
inline const QString kMode = QStringLiteral("Mode");
inline const QString kGlobal = QStringLiteral("global");
inline const QString kCallsign = QStringLiteral("callsign");

inline const QString kNotConfigured = QStringLiteral("Not Configured");
inline const QString kDefaultPath = QStringLiteral("/");
inline const QString kDefaultCallsign = QStringLiteral("WXYZ");
inline const QString kDefaultMode = DeckMode::kNorm;

// "cat 1" .. "cat 10" and "deck 1" .. "deck 10": the space is part of the name.
QString CategorySection(int category);
QString DeckSection(int deck);
} // namespace SettingsKeys

// The stored form of a deck mode: index 0, 1, 2 is "Norm", "Seqnc", "Loop". A stored word
// is decoded by its first character without regard to case (N, S, L); anything else,
// including an empty text, is Normal.
int DeckModeIndex(const QString& stored);
QString DeckModeWord(int modeIndex); // "" for an index other than 0, 1, 2

// Category's folder from the file, default "/", never cut short.
QString ReadCategoryPath(const ProfileFile& file, int category);

// The station's settings as the main window holds them: the ten category names of the
// last LoadSettings (CategoryNames), the call letters that Label3 shows, and the flag the
// configuration window raises while it fills its own controls (ConfigLoading). Everything
// else is read from Vidav.ini when it is needed. Reads and writes the file only: the
// library's LoadSettings drives the tabs, the list and the message box. UI thread only.
class StationSettings : public QObject {
    Q_OBJECT
public:
    explicit StationSettings(ProfileFile& file, QObject* parent = nullptr);

    // Reads the ten category names into CategoryNames ("Not Configured" for a missing one).
    void ReadCategoryNames();
    // Reads the call letters and shows them in Label3.
    void ShowCallLetters();
    // Category's folder from the file, read afresh each time.
    QString CategoryPath(int category) const { return ReadCategoryPath(m_file, category); }

    // Stores a deck's default mode (taken at the next start); nothing while ConfigLoading
    // is set or for a deck or index out of range. The result says whether the file took it.
    ProfileFile::WriteResult SaveDeckMode(int deck, int modeIndex);

    // The default mode word of a deck as the file holds it now.
    QString DeckDefaultMode(int deck) const;

    // Category names 1..10 as the last LoadSettings read them; "" before the first one.
    QString CategoryNames(int category) const;

    bool ConfigLoading() const { return m_configLoading; }
    void setConfigLoading(bool loading) { m_configLoading = loading; }

    // Caption of the call-letters label; empty until LoadSettings shows them.
    const QString& callLetters() const { return m_callLetters; }

signals:
    void callLettersChanged(const QString& caption);

private:
    ProfileFile& m_file;

    std::array<QString, SettingsKeys::kCategoryCount> m_categoryNames;
    QString m_callLetters;
    bool m_configLoading = false;
};
