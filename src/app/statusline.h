#pragma once

#include <QObject>
#include <QString>
#include <vector>

// What the operator reads on the line under the decks: a cart that would not play, the lost
// output, the as-run log's failures, a file that stopped answering, pre-listen. Each source
// of text holds at most one text and replaces or clears it (an empty text) itself. A
// standing warning (the lost output) is shown in red over every message until its source
// clears it; otherwise the newest message shows. When there is nothing to say the line is
// empty. The window renders text() and isWarning() at each changed().
//
// UI thread only.
class StatusLine : public QObject {
    Q_OBJECT
public:
    enum class Priority { Message, Warning };

    // The sources of this program; any other name is a source of its own.
    static inline const QString kFire = QStringLiteral("fire");
    static inline const QString kOutput = QStringLiteral("output");
    static inline const QString kLog = QStringLiteral("log");
    // Followed by the path: each file that stopped answering holds a text of its own.
    static inline const QString kStall = QStringLiteral("stall:");

    using QObject::QObject;

    void set(const QString& source, const QString& text, Priority priority = Priority::Message);
    void clear(const QString& source) { set(source, QString()); }
    // As set(), but a source that has a text keeps its place among the messages (a clock
    // that runs is not a newer message than those that came after it).
    void update(const QString& source, const QString& text);

    QString text() const;
    bool isWarning() const;

signals:
    void changed();

private:
    struct Entry {
        QString source;
        QString text;
        Priority priority;
    };
    const Entry* shown() const;

    // Oldest first.
    std::vector<Entry> m_entries;
};
