#include "config/folderbox.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QStorageInfo>
#include <algorithm>

namespace {

// File systems of the kernel's own that never hold carts.
const QSet<QByteArray> kPseudoTypes = {
    "autofs",   "binfmt_misc", "bpf",      "cgroup",          "cgroup2",    "configfs",
    "debugfs",  "devpts",      "devtmpfs", "efivarfs",        "fusectl",    "hugetlbfs",
    "mqueue",   "nsfs",        "proc",     "pstore",          "rpc_pipefs", "securityfs",
    "squashfs", "sysfs",       "tracefs",  "fuse.gvfsd-fuse", "fuse.portal"};

bool under(const QString& path, const QString& folder) {
    return path == folder || path.startsWith(folder + QLatin1Char('/'));
}

// /run holds removable media (/run/media/<user>/...) among the system's own memory file
// systems: only real file systems are taken from there.
bool isPseudo(const QStorageInfo& volume) {
    const QString root = volume.rootPath();
    const QByteArray type = volume.fileSystemType();
    if (kPseudoTypes.contains(type))
        return true;
    for (const char* system : {"/proc", "/sys", "/dev"})
        if (under(root, QLatin1String(system)))
            return true;
    const bool memory = type == "tmpfs" || type == "ramfs";
    return memory && under(root, QStringLiteral("/run"));
}

QString cleanAbsolute(const QString& folder) {
    return QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
}

bool isRoot(const QString& path) {
    return path == QLatin1String("/");
}

} // namespace

QList<Volume> MountedVolumes() {
    QList<Volume> volumes;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || isPseudo(volume))
            continue;
        QString label = volume.name();
        if (label.isEmpty())
            label = QFileInfo(QString::fromLocal8Bit(volume.device())).fileName();
        const QString root = volume.rootPath();
        volumes.append({root, label.isEmpty() ? root : root + QStringLiteral("  [") + label + ']'});
    }
    std::sort(volumes.begin(), volumes.end(),
              [](const Volume& a, const Volume& b) { return a.root < b.root; });
    // A file system mounted twice on one point shows once: the last mount is the one seen.
    volumes.erase(std::unique(volumes.begin(), volumes.end(),
                              [](const Volume& a, const Volume& b) { return a.root == b.root; }),
                  volumes.end());
    return volumes;
}

FolderBox::FolderBox(QString startFolder) {
    if (setPath(startFolder) != OpenResult::Opened)
        setPath(QStringLiteral("/"));
}

FolderBox::OpenResult FolderBox::setPath(const QString& folder) {
    const QString path = cleanAbsolute(folder);
    const QFileInfo info(path);
    if (!info.isDir())
        return OpenResult::Missing;
    QDir dir(path);
    if (!dir.isReadable())
        return OpenResult::Unreadable;
    if (path == m_path)
        return OpenResult::Unchanged;

    QList<Entry> entries;
    entries.append({QStringLiteral("/"), QStringLiteral("/"), 0, true});
    int depth = 0;
    if (!isRoot(path)) {
        QString above;
        for (const QString& name : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
            above += QLatin1Char('/') + name;
            entries.append({above, name, ++depth, true});
        }
    }
    m_openRow = int(entries.size()) - 1;
    // Hidden folders stay hidden, as in a file manager.
    const QStringList inside =
        dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString& name : inside)
        entries.append(
            {isRoot(path) ? path + name : path + QLatin1Char('/') + name, name, depth + 1, false});
    m_path = path;
    m_entries = entries;
    return OpenResult::Opened;
}

DriveBox::DriveBox(VolumeSource source) : m_source(std::move(source)) {
    readVolumes();
}

void DriveBox::readVolumes() {
    const QString shown = Drive();
    m_volumes = m_source ? m_source() : QList<Volume>{};
    const bool hasRoot = std::any_of(m_volumes.begin(), m_volumes.end(),
                                     [](const Volume& v) { return isRoot(v.root); });
    if (!hasRoot)
        m_volumes.prepend({QStringLiteral("/"), QStringLiteral("/")});
    showVolumeOf(shown.isEmpty() ? QStringLiteral("/") : shown);
}

void DriveBox::showVolumeOf(const QString& folder) {
    const QString path = cleanAbsolute(folder);
    int best = 0;
    qsizetype bestLength = -1;
    for (int i = 0; i < m_volumes.size(); ++i) {
        const QString& root = m_volumes[i].root;
        if ((isRoot(root) || under(path, root)) && root.size() > bestLength) {
            best = i;
            bestLength = root.size();
        }
    }
    m_index = best;
}
