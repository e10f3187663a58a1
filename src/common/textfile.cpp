#include "common/textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace textfile {

namespace {

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

const QString kNotRegular = QStringLiteral("not a regular file");

} // namespace

int OpenRegular(const QString& path, int flags, QString* error) {
    const QByteArray name = QFile::encodeName(path);
    // A FIFO opened for writing with no reader would fail with "No such device or
    // address"; the type names the fault better.
    struct stat before {};
    if (::stat(name.constData(), &before) == 0 && !S_ISREG(before.st_mode)) {
        *error = kNotRegular;
        return -1;
    }
    // O_NONBLOCK: a FIFO put in place since the check must not hold the open.
    const int fd = ::open(name.constData(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        *error = systemReason(errno);
        return -1;
    }
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        *error = opened.st_mode == 0 ? systemReason(errno) : kNotRegular;
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

QString OpenForReading(QFile& file, const QString& path) {
    QString error;
    const int fd = OpenRegular(path, O_RDONLY, &error);
    if (fd < 0)
        return error;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return file.errorString();
    }
    return {};
}

QString WriteAndSync(int fd, const QByteArray& bytes) {
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return systemReason(n < 0 ? errno : EIO);
        done += n;
    }
    if (::fsync(fd) != 0)
        return systemReason(errno);
    return {};
}

QString AppendLines(const QString& path, const QByteArray& header, const QByteArray& lines,
                    const QByteArray& lineEnd, const WriteFunction& write) {
    // A folder that cannot be made shows in the open's reason ("Not a directory").
    QDir().mkpath(QFileInfo(path).absolutePath());
    QString error;
    const int fd = OpenRegular(path, O_RDWR | O_CREAT | O_APPEND, &error); // read: the last byte
    if (fd < 0)
        return error;
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        error = systemReason(errno);
        ::close(fd);
        return error;
    }
    const off_t oldSize = info.st_size;
    QByteArray bytes;
    char last = 0;
    if (oldSize == 0)
        bytes = header;
    else if (::pread(fd, &last, 1, oldSize - 1) == 1 && last != lineEnd.back())
        bytes = lineEnd;
    bytes += lines;
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = systemReason(n < 0 ? errno : EIO);
            break;
        }
        done += n;
    }
    if (!error.isEmpty() && ::ftruncate(fd, oldSize) != 0)
        error +=
            QStringLiteral("; the cut line could not be taken back: %1").arg(systemReason(errno));
    if (::close(fd) != 0 && error.isEmpty())
        error = systemReason(errno);
    return error;
}

} // namespace textfile
