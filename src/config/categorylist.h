#pragma once

#include "config/profilefile.h"

#include <QString>

// The category list dtb/cats.db beside Vidav.ini: one category title per line, each line
// ended by CR LF, only ever appended to. Nothing in the program reads it.
// UI thread only; blocks on the disk.
class CategoryList {
public:
    // The list that belongs to the settings file at settingsPath.
    explicit CategoryList(const QString& settingsPath);

    // Appends the title as one line, creating the folder and the file when missing.
    ProfileFile::WriteResult AppendTitle(const QString& title) const;

    const QString& filePath() const { return m_filePath; }

private:
    QString m_filePath;
};
