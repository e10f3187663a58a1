#include "decks/asrunlog.h"

#include "decks/deckengine.h"
#include "decks/mcidevice.h"

#include <QDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>

const QString AsRunLog::kHeader = QStringLiteral("start,deck,cart,path,length_ms,played_ms,ended");

namespace {
const QString kLineEnd = QStringLiteral("\r\n");
}

// --- LogWriter ---------------------------------------------------------------------------

struct LogWriter::State {
    struct Entry {
        QString fileName;
        QString line;
    };
    State(QString folder, QString header, std::function<void(const QString&)> onChange,
          textfile::WriteFunction write)
        : folder(std::move(folder)), header(std::move(header)), onChange(std::move(onChange)),
          write(std::move(write)) {}
    const QString folder;
    const QString header;
    const std::function<void(const QString&)> onChange;
    const textfile::WriteFunction write;
    std::mutex mutex;
    std::condition_variable done;
    std::deque<Entry> queue;             // guarded: appended by the UI thread
    std::uint64_t queued = 0, tried = 0; // guarded: lines appended, and tried so far
    std::uint64_t written = 0;           // guarded
    bool posted = false;                 // guarded: a job will take the queue
    std::deque<Entry> backlog;           // worker only: taken from the queue, not yet written
    bool failing = false;                // worker only

    // Worker: writes the front of the backlog file by file; false on a failure.
    bool writeBacklog(QString& error);
    void run();
};

LogWriter::LogWriter(QString folder, QString header, std::function<void(const QString&)> onChange,
                     textfile::WriteFunction write)
    : m_state(std::make_shared<State>(std::move(folder), std::move(header), std::move(onChange),
                                      std::move(write))),
      m_queue("airloom-log") {}

LogWriter::~LogWriter() {
    post(); // the last try of the lines that failed
    const auto deadline = WorkerQueue::Clock::now() + kEndWait;
    std::uint64_t unwritten = 0;
    {
        std::unique_lock lock(m_state->mutex);
        m_state->done.wait_until(lock, deadline, [this] {
            return !m_state->posted && m_state->tried == m_state->queued;
        });
        unwritten = m_state->queued - m_state->written;
    }
    m_queue.finish(deadline);
    if (unwritten != 0) {
        std::fprintf(stderr, "airloom: %llu as-run log line(s) could not be written\n",
                     static_cast<unsigned long long>(unwritten));
    }
}

void LogWriter::append(const QString& fileName, const QString& line) {
    {
        const std::lock_guard lock(m_state->mutex);
        m_state->queue.push_back({fileName, line});
        ++m_state->queued;
    }
    post();
}

void LogWriter::post() {
    {
        const std::lock_guard lock(m_state->mutex);
        if (std::exchange(m_state->posted, true))
            return;
    }
    m_queue.post([state = m_state] { state->run(); });
}

void LogWriter::flush() {
    std::unique_lock lock(m_state->mutex);
    m_state->done.wait(lock,
                       [this] { return !m_state->posted && m_state->tried == m_state->queued; });
}

void LogWriter::State::run() {
    std::uint64_t taken = 0;
    {
        const std::lock_guard lock(mutex);
        posted = false;
        taken = queued;
        while (!queue.empty()) {
            backlog.push_back(std::move(queue.front()));
            queue.pop_front();
        }
    }
    QString error;
    if (writeBacklog(error) == failing) {
        failing = !failing;
        onChange(error);
    }
    const std::lock_guard lock(mutex);
    written = taken - backlog.size();
    tried = taken;
    done.notify_all();
}

bool LogWriter::State::writeBacklog(QString& error) {
    while (!backlog.empty()) {
        const QString fileName = backlog.front().fileName;
        const QString path = QDir(folder).filePath(fileName);
        // One write per file: the lines of this file that are next in the backlog.
        QByteArray bytes;
        std::size_t count = 0;
        for (; count < backlog.size() && backlog[count].fileName == fileName; ++count)
            bytes += (backlog[count].line + kLineEnd).toUtf8();
        const QString why = textfile::AppendLines(path, (header + kLineEnd).toUtf8(), bytes,
                                                  kLineEnd.toUtf8(), write);
        if (!why.isEmpty()) {
            error = QStringLiteral("cannot write %1: %2").arg(path, why);
            return false;
        }
        backlog.erase(backlog.begin(), backlog.begin() + static_cast<std::ptrdiff_t>(count));
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
