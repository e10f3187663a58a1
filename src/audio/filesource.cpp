#include "audio/filesource.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void fill(CartFile::Info& info, const struct stat& st) {
    info.regular = S_ISREG(st.st_mode);
    info.size = static_cast<std::int64_t>(st.st_size);
    info.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

class SystemFile : public CartFile {
public:
    explicit SystemFile(int fd) : m_fd(fd) {}
    ~SystemFile() override { ::close(m_fd); }
    SystemFile(const SystemFile&) = delete;
    SystemFile& operator=(const SystemFile&) = delete;

    long long readAt(void* buffer, std::size_t size, std::int64_t offset) override {
        for (;;) {
            const ssize_t got = ::pread(m_fd, buffer, size, static_cast<off_t>(offset));
            if (got >= 0)
                return got;
            if (errno != EINTR)
                return -errno;
        }
    }

    int info(Info& info) override {
        struct stat st {};
        if (::fstat(m_fd, &st) != 0)
            return -errno;
        fill(info, st);
        return 0;
    }

private:
    const int m_fd;
};

class SystemFiles : public FileSource {
public:
    std::shared_ptr<CartFile> open(const QString& path, int& error) override {
        const QByteArray local = QFile::encodeName(path);
        if (local.isEmpty()) {
            error = ENOENT;
            return nullptr;
        }
        // Non-blocking, so that a FIFO named like a cart does not hold the caller; the
        // flag changes nothing for the reads of a regular file.
        const int fd = ::open(local.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) {
            error = errno;
            return nullptr;
        }
        return std::make_shared<SystemFile>(fd);
    }

    int stat(const QString& path, CartFile::Info& info) override {
        const QByteArray local = QFile::encodeName(path);
        struct stat st {};
        if (local.isEmpty())
            return -ENOENT;
        if (::stat(local.constData(), &st) != 0)
            return -errno;
        fill(info, st);
        return 0;
    }
};

} // namespace

std::shared_ptr<FileSource> FileSource::system() {
    return std::make_shared<SystemFiles>();
}

bool FileSource::isPassing(int error) {
    switch (error) {
    case 0:
    case ENOENT:
    case ENOTDIR:
    case EISDIR:
    case ENODEV:
    case ENXIO:
    case ELOOP:
    case ENAMETOOLONG:
        return false;
    default:
        return true;
    }
}
