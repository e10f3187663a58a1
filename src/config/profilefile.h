#pragma once

#include <QString>
#include <QStringList>

// The settings file Vidav.ini, read and written key by key. Every read opens the file
// afresh, so a value written is seen by the next read anywhere in the program.
//
// Reading: section and key names match without regard to case; blanks around the value
// and one matching pair of enclosing quotation marks, double or single, are removed; at most
// capacity - 1 characters are returned (never half a character); a missing file, section or key
// gives the default, a key with an empty value gives "". The file is UTF-8; a file that is not
// valid UTF-8 (one carried over from a Windows machine) is read as Windows-1252.
//
// Writing replaces that one key's value, creating file, section and key as needed, and
// keeps every other line as it was. The new text goes to a temporary file in the same
// folder that is renamed over the old one: a crash leaves the old file or the new one.
//
// UI thread only; blocks on the disk.
class ProfileFile {
public:
    struct WriteResult {
        bool ok = false;
        QString error; // why not, for the operator; empty when ok
        explicit operator bool() const { return ok; }
    };

    explicit ProfileFile(QString filePath);

    QString Read(const QString& section, const QString& key, const QString& defaultValue,
                 int capacity) const;
    WriteResult Write(const QString& section, const QString& key, const QString& value);

    const QString& filePath() const { return m_filePath; }

    // Removes the temporary files that writes killed half-way left beside the file (its name,
    // a dot and six letters or digits) once they are older than a minute, so a write that
    // another copy of the program is making now keeps its own. Nothing else is touched.
    // Returns the paths removed.
    QStringList RemoveStaleTemporaries() const;

    // The per-machine settings file: <AIRLOOM_SETTINGS_DIR>/Vidav.ini.
    static QString DefaultPath();

private:
    QString m_filePath;
};
