#include "audio/filewatch.h"

#include <QFile>
#include <QHash>
#include <QSet>
#include <mutex>
#include <sys/inotify.h>
#include <unistd.h>

struct FileWatch::State {
    const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    std::mutex mutex;
    QSet<QString> wanted;
    QHash<int, QString> pathOf;
    QHash<QString, int> watchOf;

    ~State() {
        if (fd >= 0)
            ::close(fd);
    }
    // With the mutex held.
    void drop(const QString& path) {
        const int watch = watchOf.take(path);
        if (watch == 0 || pathOf.value(watch) != path)
            return;
        pathOf.remove(watch);
        inotify_rm_watch(fd, watch);
    }
};

FileWatch::FileWatch() : m_state(std::make_shared<State>()) {
    if (m_state->fd < 0)
        return; // no watch: the check at each open still sees a changed file
    m_notifier = std::make_unique<QSocketNotifier>(m_state->fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &FileWatch::readEvents);
}

FileWatch::~FileWatch() = default;

std::function<void()> FileWatch::adder(const QString& path) {
    {
        const std::lock_guard lock(m_state->mutex);
        m_state->wanted.insert(path);
    }
    return [state = m_state, path] {
        const QByteArray local = QFile::encodeName(path);
        // A replaced file keeps the watch on the one the cart holds; the attributes tell
        // of a rename over it or its deletion (the cart holds it open, so it lives on).
        const int watch =
            state->fd < 0 || local.isEmpty()
                ? -1
                : inotify_add_watch(state->fd, local.constData(),
                                    IN_ATTRIB | IN_MODIFY | IN_MOVE_SELF | IN_DELETE_SELF);
        const std::lock_guard lock(state->mutex);
        if (watch < 0)
            return;
        // Removed while the add waited on the path, or the same file under two names.
        if (!state->wanted.contains(path) || state->pathOf.value(watch, path) != path) {
            if (!state->pathOf.contains(watch))
                inotify_rm_watch(state->fd, watch);
            return;
        }
        if (state->watchOf.value(path, watch) != watch)
            state->drop(path);
        state->watchOf.insert(path, watch);
        state->pathOf.insert(watch, path);
    };
}

void FileWatch::remove(const QString& path) {
    const std::lock_guard lock(m_state->mutex);
    m_state->wanted.remove(path);
    m_state->drop(path);
}

void FileWatch::readEvents() {
    alignas(inotify_event) char buffer[4096];
    QSet<QString> changedPaths;
    for (;;) {
        const ssize_t got = ::read(m_state->fd, buffer, sizeof buffer);
        if (got <= 0)
            break;
        const std::lock_guard lock(m_state->mutex);
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            const QString path = m_state->pathOf.value(event->wd);
            if (path.isEmpty())
                continue;
            changedPaths.insert(path);
            if (event->mask & IN_IGNORED) {
                // The kernel dropped the watch (the file is gone).
                m_state->pathOf.remove(event->wd);
                m_state->watchOf.remove(path);
            }
        }
    }
    for (const QString& path : changedPaths)
        emit changed(path);
}
