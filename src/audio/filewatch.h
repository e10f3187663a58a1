#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <functional>
#include <memory>

// Tells when a watched file changes (inotify). Adding a watch looks the path up, which a
// share that stops answering holds for as long as it likes, so the add is a job for a
// worker thread (adder()); what the watch sees arrives on the owner's thread.
//
// UI thread, apart from the jobs adder() returns (any thread, may block on the path). A job
// left behind at the end holds the watch's state, never the FileWatch.
class FileWatch : public QObject {
    Q_OBJECT
public:
    FileWatch();
    ~FileWatch() override;
    FileWatch(const FileWatch&) = delete;
    FileWatch& operator=(const FileWatch&) = delete;

    // Wants path watched, and returns the job that adds the watch. Never blocks.
    std::function<void()> adder(const QString& path);
    // Watches path no more; never touches the path.
    void remove(const QString& path);

signals:
    void changed(const QString& path);

private:
    struct State;
    void readEvents();

    const std::shared_ptr<State> m_state;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
