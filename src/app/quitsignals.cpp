#include "app/quitsignals.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The pipe's end that the handler writes to; -1 while no QuitSignals exists.
volatile std::sig_atomic_t g_writeEnd = -1;

extern "C" void onQuitSignal(int signal) {
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(signal);
    // A full pipe already holds a signal to act on: nothing is lost by dropping this one.
    [[maybe_unused]] const ssize_t written = ::write(g_writeEnd, &byte, 1);
    errno = savedErrno;
}

} // namespace

QuitSignals::QuitSignals(QObject* parent) : QObject(parent) {
    if (::pipe2(m_pipe, O_NONBLOCK | O_CLOEXEC) != 0)
        return; // no descriptors left: the signals keep their default action
    g_writeEnd = m_pipe[1];
    m_notifier = std::make_unique<QSocketNotifier>(m_pipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &QuitSignals::readPipe);
    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    // SA_RESETHAND: a second signal, when the exit hangs, ends the program as before.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &action, &m_replaced[i]);
}

QuitSignals::~QuitSignals() {
    if (m_pipe[0] < 0)
        return;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &m_replaced[i], nullptr);
    g_writeEnd = -1;
    m_notifier.reset();
    ::close(m_pipe[0]);
    ::close(m_pipe[1]);
}

void QuitSignals::readPipe() {
    unsigned char byte = 0;
    while (::read(m_pipe[0], &byte, 1) == 1)
        emit received(byte);
}
