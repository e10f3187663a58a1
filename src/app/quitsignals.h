#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <array>
#include <csignal>
#include <memory>

// SIGTERM, SIGINT and SIGHUP (a shutdown, systemctl stop, Ctrl+C, a logout) reach the UI
// thread as received(), so that the program can end as its exit does, logging the cart on
// air. The handler only writes the signal's number to a pipe, which is safe in a signal
// handler on any thread; a QSocketNotifier reads it on the UI thread. Each handler acts
// once: the same signal again, while the exit runs, ends the program at once.
//
// UI thread only; one instance at a time, made after the application object. The
// destructor gives back the actions it replaced.
class QuitSignals : public QObject {
    Q_OBJECT
public:
    static constexpr std::array<int, 3> kSignals = {SIGTERM, SIGINT, SIGHUP};

    explicit QuitSignals(QObject* parent = nullptr);
    ~QuitSignals() override;
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

signals:
    void received(int signal);

private:
    void readPipe();

    int m_pipe[2] = {-1, -1};
    std::array<struct sigaction, kSignals.size()> m_replaced{};
    std::unique_ptr<QSocketNotifier> m_notifier;
};
