#include "config/categorylist.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

CategoryList::CategoryList(const QString& settingsPath)
    : m_filePath(QFileInfo(settingsPath).absolutePath() + QStringLiteral("/dtb/cats.db")) {}

ProfileFile::WriteResult CategoryList::AppendTitle(const QString& title) const {
    const QString folder = QFileInfo(m_filePath).absolutePath();
    if (!QDir().mkpath(folder))
        return {false, QStringLiteral("Cannot create the folder %1.").arg(folder)};
    QFile file(m_filePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return {false, QStringLiteral("Cannot write %1: %2").arg(m_filePath, file.errorString())};
    // One write of the whole line, flushed and checked: a full disk must not pass for saved.
    const QByteArray line = title.toUtf8() + "\r\n";
    if (file.write(line) != line.size() || !file.flush())
        return {false, QStringLiteral("Cannot write %1: %2").arg(m_filePath, file.errorString())};
    return {true, {}};
}
