#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <functional>
#include <sys/types.h>

// The files the program keeps beside its settings (the settings file, the as-run log, the
// loudness cache, the category list). They are opened only when they are regular files: a
// FIFO or a device left in their place would block the thread that opens it until someone
// writes or reads at the other end. Appending writes whole lines only, so that a reader
// never meets a line cut or glued to the next one, whatever fails.
//
// Any thread; blocks on the disk, never on a FIFO.
namespace textfile {

// Opens path with flags as open(2) takes them (O_CLOEXEC is added) when it is a regular
// file, or with O_CREAT when it is missing. The type is checked without blocking (the open
// itself does not wait for the other end of a FIFO), and the descriptor returned blocks as
// usual. -1 otherwise, with *error set to the system's reason or "not a regular file".
int OpenRegular(const QString& path, int flags, QString* error);

// Writes all of bytes to fd and syncs it; the system's reason when that fails, else "".
QString WriteAndSync(int fd, const QByteArray& bytes);

// Opens file (not yet open) on path for reading when path is a regular file, as
// OpenRegular does; the reason when it is not, else an empty string.
QString OpenForReading(QFile& file, const QString& path);

// write(2), or a stand-in for it (tests fill a disk with it).
using WriteFunction = std::function<ssize_t(int fd, const char* bytes, std::size_t count)>;

// Appends lines (whole lines, each ended by lineEnd) to the regular file at path in one
// write, creating the file and its folder when missing; an empty file gets header first.
// A last line that was cut (a crash or a full disk during another program's write) is
// ended with lineEnd first, so the new lines are not glued onto it. A write that fails
// part-way is taken back: the file is cut back to its old size. Returns the system's
// reason for a failure ("No space left on device"), else an empty string.
QString AppendLines(const QString& path, const QByteArray& header, const QByteArray& lines,
                    const QByteArray& lineEnd, const WriteFunction& write = ::write);

} // namespace textfile
