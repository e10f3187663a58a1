#include "decks/asrunlog.h"

#include "decks/deckengine.h"
#include "decks/mcidevice.h"

#include <QDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <pthread.h>

const QString AsRunLog::kHeader = QStringLiteral("start,deck,cart,path,length_ms,played_ms,ended");

namespace {
const QString kLineEnd = QStringLiteral("\r\n");
}

// --- LogWriter ---------------------------------------------------------------------------

LogWriter::LogWriter(QString folder, QString header, std::function<void(const QString&)> onChange,
                     textfile::WriteFunction write)
    : m_folder(std::move(folder)), m_header(std::move(header)), m_onChange(std::move(onChange)),
      m_write(std::move(write)), m_thread([this] { run(); }) {}

LogWriter::~LogWriter() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void LogWriter::append(const QString& fileName, const QString& line) {
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back({fileName, line});
        ++m_queued;
    }
    m_wake.notify_one();
}

void LogWriter::flush() {
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [this] { return m_tried == m_queued; });
}

void LogWriter::run() {
    pthread_setname_np(pthread_self(), "airloom-log"); // seen by top and the benchmarks
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_quit || !m_queue.empty(); });
        const bool quit = m_quit;
        const std::uint64_t taken = m_queued;
        while (!m_queue.empty()) {
            m_backlog.push_back(std::move(m_queue.front()));
            m_queue.pop_front();
        }
        lock.unlock();
        QString error;
        if (writeBacklog(error) == m_failing) {
            m_failing = !m_failing;
            m_onChange(error);
        }
        lock.lock();
        m_tried = taken;
        m_done.notify_all();
        if (quit)
            break;
    }
    if (!m_backlog.empty()) {
        std::fprintf(stderr, "airloom: %zu as-run log line(s) could not be written\n",
                     m_backlog.size());
    }
}

bool LogWriter::writeBacklog(QString& error) {
    while (!m_backlog.empty()) {
        const QString fileName = m_backlog.front().fileName;
        const QString path = QDir(m_folder).filePath(fileName);
        // One write per file: the lines of this file that are next in the backlog.
        QByteArray bytes;
        std::size_t count = 0;
        for (; count < m_backlog.size() && m_backlog[count].fileName == fileName; ++count)
            bytes += (m_backlog[count].line + kLineEnd).toUtf8();
        const QString why = textfile::AppendLines(path, (m_header + kLineEnd).toUtf8(), bytes,
                                                  kLineEnd.toUtf8(), m_write);
        if (!why.isEmpty()) {
            error = QStringLiteral("cannot write %1: %2").arg(path, why);
            return false;
        }
        m_backlog.erase(m_backlog.begin(), m_backlog.begin() + static_cast<std::ptrdiff_t>(count));
    }
    return true;
}

// --- AsRunLog ----------------------------------------------------------------------------

AsRunLog::AsRunLog(const DeckEngine& decks, const MciDevice& player, const QString& folder,
                   Clock clock, textfile::WriteFunction write, QObject* parent)
    : QObject(parent), m_decks(decks), m_player(player), m_clock(std::move(clock)),
      m_writer(
          folder, kHeader,
          [this](const QString& error) {
              if (error.isEmpty()) {
                  std::fputs("airloom: the as-run log is written again\n", stderr);
                  QMetaObject::invokeMethod(
                      this, [this] { emit writeRecovered(std::exchange(m_failure, {})); },
                      Qt::QueuedConnection);
                  return;
              }
              const QString message = QStringLiteral("As-run log not written: %1").arg(error);
              std::fprintf(stderr, "airloom: %s\n", qUtf8Printable(message));
              QMetaObject::invokeMethod(
                  this,
                  [this, message] {
                      m_failure = message;
                      emit writeFailed(message);
                  },
                  Qt::QueuedConnection);
          },
          std::move(write)) {}

AsRunLog::~AsRunLog() {
    // The exit stops the cart that plays.
    playEnding(Ending::Stopped);
    m_writer.flush();
}

void AsRunLog::playStarted(int deck) {
    // A cart that could not be opened is never heard.
    if (m_player.Mode() != MciDevice::kModePlaying)
        return;
    m_play = Play{m_clock(), deck, m_decks.Controls(deck).deckCaption, m_decks.FilePath(deck),
                  m_player.Length()};
}

void AsRunLog::playEnding(Ending how) {
    if (!m_play)
        return;
    // A cart that has played out before the engine saw it ended by itself.
    if (how == Ending::End || m_player.Mode() != MciDevice::kModePlaying) {
        const bool emptied = m_decks.FilePath(m_play->deck).isEmpty();
        close(emptied ? QStringLiteral("emptied") : QStringLiteral("end"), m_play->lengthMs);
        return;
    }
    close(how == Ending::Cut ? QStringLiteral("cut") : QStringLiteral("stopped"),
          m_player.Position());
}

void AsRunLog::close(const QString& ended, qint64 playedMs) {
    const Play play = *std::exchange(m_play, std::nullopt);
    const QStringList fields = {isoTime(play.start),
                                QString::number(play.deck),
                                csvField(play.name),
                                csvField(play.path),
                                QString::number(play.lengthMs),
                                QString::number(playedMs),
                                ended};
    m_writer.append(play.start.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".csv"),
                    fields.join(QLatin1Char(',')));
}

QString AsRunLog::csvField(const QString& text) {
    static const QString kSpecial = QStringLiteral(",\"\r\n");
    if (std::none_of(text.begin(), text.end(), [](QChar c) { return kSpecial.contains(c); }))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString AsRunLog::isoTime(const QDateTime& time) {
    const int offset = time.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return time.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz")) +
           (offset < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}
