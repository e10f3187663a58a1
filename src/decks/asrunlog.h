#pragma once

#include "audio/workerqueue.h"
#include "common/textfile.h"
#include "decks/playobserver.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class DeckEngine;
class MciDevice;

// Appends lines to the daily files of a folder on its own worker, so that a slow or full
// disk delays the log and never the decks. append() only queues and never blocks on the
// disk. A line that cannot be written stays queued, in order, and is tried again when the
// next line arrives; nothing already in a file is ever rewritten, and a write that fails
// part-way is taken back, so a file holds whole lines only. onChange (called on the writer
// thread) gets the system's reason at the first failure after a success, and an empty
// reason at the first success after a failure.
class LogWriter {
public:
    // The end waits this long at most for the last try (the engine's own limit): a disk
    // that stopped answering leaves its write behind, and stderr says what was not written.
    static constexpr auto kEndWait = std::chrono::milliseconds(750);

    // write: write(2), or a stand-in that fails as a full disk does (tests).
    LogWriter(QString folder, QString header, std::function<void(const QString&)> onChange,
              textfile::WriteFunction write = ::write);
    // Tries once more to write what is queued, until kEndWait, then stops the worker.
    ~LogWriter();
    LogWriter(const LogWriter&) = delete;
    LogWriter& operator=(const LogWriter&) = delete;

    // Queues line (without its line end) for folder/fileName; the file gets the header
    // first when it is new or empty.
    void append(const QString& fileName, const QString& line);
    // Blocks until every line queued so far has been tried (tests).
    void flush();

private:
    // What the worker's jobs share with the writer; a job left behind at the end keeps it.
    struct State;
    // Has the worker write the backlog and what was queued, unless a job for it waits.
    void post();

    const std::shared_ptr<State> m_state;
    WorkerQueue m_queue;
};

// The as-run log: one line for every play of a cart heard on air (each fire, each step of a
// sequence, each pass of a loop), appended to log/YYYY-MM-DD.csv of the settings folder
// when the play ends, and one for the cart that still plays when the log closes (exit).
//
// Columns: start (local ISO 8601 with milliseconds and offset), deck, cart, path, length_ms,
// played_ms, ended. How a play ended: "end" (played to its end), "stopped" (F11, its own key,
// or the exit), "cut" (another deck fired over it), "emptied" (its deck was emptied while it
// played; the cart plays on to its end, so it was heard whole). RFC 4180 fields, UTF-8,
// CRLF line ends. The file is that of the play's start date.
//
// UI thread only; the disk is written by the LogWriter's thread. A write that fails is
// reported on stderr and through writeFailed, once until a write succeeds again, which
// writeRecovered tells.
class AsRunLog : public QObject, public PlayObserver {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;
    static const QString kHeader;

    // folder: the log folder (created when missing). clock: local time now (tests step it).
    // write: as LogWriter's.
    AsRunLog(const DeckEngine& decks, const MciDevice& player, const QString& folder,
             Clock clock = &QDateTime::currentDateTime, textfile::WriteFunction write = ::write,
             QObject* parent = nullptr);
    // Logs the playing cart as stopped and writes what is queued.
    ~AsRunLog() override;

    void playStarted(int deck) override;
    void playEnding(Ending how) override;
    // Blocks until every line so far has been tried (tests).
    void flush() { m_writer.flush(); }

    // One RFC 4180 field: quoted when it holds a comma, a quote or a line break.
    static QString csvField(const QString& text);
    // 2026-03-01T14:05:09.042+01:00
    static QString isoTime(const QDateTime& time);

signals:
    void writeFailed(const QString& message);
    // Writing works again: message, the last writeFailed's, no longer holds.
    void writeRecovered(const QString& message);

private:
    struct Play {
        QDateTime start;
        int deck = 0;
        QString name;
        QString path;
        qint64 lengthMs = 0;
    };
    void close(const QString& ended, qint64 playedMs);

    const DeckEngine& m_decks;
    const MciDevice& m_player;
    const Clock m_clock;
    std::optional<Play> m_play; // the play that has started and not been logged
    QString m_failure;          // the message of the failure that holds, else empty
    LogWriter m_writer;
};
