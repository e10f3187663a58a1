#include "library/cartlist.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

bool isCartName(const QString& name) {
    // Dot files are hidden on Linux, as hidden files were left out of the list elsewhere;
    // this also keeps out the "._name.wav" companions that some file servers leave behind.
    if (name.startsWith(QLatin1Char('.')))
        return false;
    return name.endsWith(QLatin1String(".wav"), Qt::CaseInsensitive) ||
           name.endsWith(QLatin1String(".mpg"), Qt::CaseInsensitive) ||
           name.endsWith(QLatin1String(".mp3"), Qt::CaseInsensitive);
}

// A regular file, or a symbolic link that leads to one. Folders, devices and dangling
// links are not carts, whatever their names.
bool isFileEntry(int dirFd, const dirent* entry) {
    if (entry->d_type == DT_REG)
        return true;
    if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
        return false;
    struct stat info;
    if (fstatat(dirFd, entry->d_name, &info, 0) != 0)
        return false;
    return S_ISREG(info.st_mode);
}

// The order of the list: without regard to case; names that differ only in case keep a
// fixed order. The search compares in the same order, so that it finds what the operator
// sees below the typed text.
int compareNames(const QString& a, const QString& b) {
    const int c = QString::compare(a, b, Qt::CaseInsensitive);
    return c != 0 ? c : QString::compare(a, b, Qt::CaseSensitive);
}

QString reasonFor(const QString& folder, int error) {
    return QStringLiteral("%1: %2").arg(folder, qt_error_string(error));
}

// Reads the cart names of a folder, unsorted. readdir with the entry type spares a stat
// per file, which keeps a folder of ten thousand carts well under the time of a click.
bool readCartNames(const QString& folder, QStringList* names, QString* error) {
    const QByteArray encoded = QFile::encodeName(folder);
    DIR* dir = opendir(encoded.constData());
    if (dir == nullptr) {
        if (error != nullptr)
            *error = reasonFor(folder, errno);
        return false;
    }
    const int dirFd = dirfd(dir);
    QStringList found;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir);
        if (entry == nullptr)
            break;
        const QByteArray raw(entry->d_name);
        const QString name = QFile::decodeName(raw);
        if (!isCartName(name))
            continue;
        // A name that is not valid in the file-name encoding cannot be opened again from
        // its decoded form, so it could be neither loaded nor deleted: leave it out.
        if (QFile::encodeName(name) != raw)
            continue;
        if (isFileEntry(dirFd, entry))
            found.append(name);
    }
    const int readError = errno;
    closedir(dir);
    if (readError != 0) {
        if (error != nullptr)
            *error = reasonFor(folder, readError);
        return false;
    }
    std::sort(found.begin(), found.end(),
              [](const QString& a, const QString& b) { return compareNames(a, b) < 0; });
    *names = std::move(found);
    return true;
}

} // namespace

CartList::CartList(QObject* parent) : QObject(parent) {}

bool CartList::setPath(const QString& folder, QString* error) {
    // "/carts/" and "/carts" name the same folder; keeping one spelling makes the paths
    // built from it (loading, deleting) compare equal.
    const QString path = QDir::cleanPath(folder);
    QStringList names;
    if (!readCartNames(path, &names, error))
        return false;
    m_path = path;
    m_names = std::move(names);
    const bool hadSelection = m_listIndex != -1;
    m_listIndex = -1;
    emit listChanged();
    if (hadSelection)
        emit listIndexChanged(-1);
    return true;
}

bool CartList::Refresh(QString* error) {
    if (m_path.isEmpty()) {
        if (error != nullptr)
            *error = QStringLiteral("No folder has been chosen.");
        return false;
    }
    const QString selected = FileName();
    QStringList names;
    if (!readCartNames(m_path, &names, error))
        return false;
    m_names = std::move(names);
    const int previous = m_listIndex;
    m_listIndex = selected.isEmpty() ? -1 : int(m_names.indexOf(selected));
    emit listChanged();
    if (m_listIndex != previous)
        emit listIndexChanged(m_listIndex);
    return true;
}

QString CartList::FileName() const {
    if (m_listIndex < 0)
        return QString();
    return m_names.at(m_listIndex);
}

void CartList::setListIndex(int index) {
    if (index < -1 || index >= ListCount())
        index = -1;
    if (index == m_listIndex)
        return;
    m_listIndex = index;
    emit listIndexChanged(index);
}

void CartList::CartListSearch(const QString& text) {
    // The first name at or after the text in the list's own order; not a prefix match.
    for (int i = 0; i < ListCount(); ++i) {
        if (compareNames(m_names.at(i), text) >= 0) {
            setListIndex(i);
            return;
        }
    }
}
