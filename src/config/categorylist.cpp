#include "config/categorylist.h"

#include "common/textfile.h"

#include <QFileInfo>

CategoryList::CategoryList(const QString& settingsPath)
    : m_filePath(QFileInfo(settingsPath).absolutePath() + QStringLiteral("/dtb/cats.db")) {}

ProfileFile::WriteResult CategoryList::AppendTitle(const QString& title) const {
    // One write of the whole line, checked: a full disk must not pass for saved, nor leave
    // half a title behind.
    const QString why =
        textfile::AppendLines(m_filePath, {}, title.toUtf8() + "\r\n", QByteArrayLiteral("\r\n"));
    if (!why.isEmpty())
        return {false, QStringLiteral("Cannot write %1: %2").arg(m_filePath, why)};
    return {true, {}};
}
