#pragma once

#include <QList>
#include <QString>
#include <functional>

// A mounted volume that can hold carts: where it is mounted and the text the drive box
// shows for it.
struct Volume {
    QString root;
    QString label;
};

// Where the drive box gets its volumes; tests hand in a list of their own.
using VolumeSource = std::function<QList<Volume>()>;

// The mounted volumes of real file systems, removable media included; the pseudo file
// systems of the kernel (/proc, /sys, /dev, /run and the like) are left out. "/" is
// always listed. Sorted by mount point.
QList<Volume> MountedVolumes();

// Dir1: a folder box. It shows its open folder with the folders above it and the folders
// inside it; the open folder is the one that counts, never a row merely highlighted.
// Folders that cannot be listed are shown among the others but cannot be opened.
// UI thread only; setPath reads the folder.
class FolderBox {
public:
    struct Entry {
        QString path;
        QString name;
        int depth = 0;     // "/" is 0, its sub-folders 1, ...
        bool open = false; // the open folder or one above it
    };

    enum class OpenResult { Opened, Unchanged, Missing, Unreadable };

    explicit FolderBox(QString startFolder);

    // Opens a folder (kept in its clean absolute form). A folder that does not exist or
    // cannot be listed leaves the box as it was.
    OpenResult setPath(const QString& folder);

    const QString& Path() const { return m_path; }
    const QList<Entry>& entries() const { return m_entries; }
    // The row of the open folder in entries().
    int openRow() const { return m_openRow; }

private:
    QString m_path;
    QList<Entry> m_entries;
    int m_openRow = 0;
};

// Drive1: the list of volumes and the one shown, always the volume that holds the folder
// box's folder (the listed mount point that is the longest prefix of it).
class DriveBox {
public:
    explicit DriveBox(VolumeSource source);

    // Reads the volumes again; "/" is added when the source leaves it out, so that every
    // folder has its volume.
    void readVolumes();
    void showVolumeOf(const QString& folder);

    const QList<Volume>& volumes() const { return m_volumes; }
    int ListIndex() const { return m_index; }
    QString Drive() const { return m_volumes.value(m_index).root; }

private:
    VolumeSource m_source;
    QList<Volume> m_volumes;
    int m_index = 0;
};
