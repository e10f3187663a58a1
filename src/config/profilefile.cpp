#include "config/profilefile.h"

#include "common/textfile.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringDecoder>
#include <algorithm>
#include <iterator>

namespace {

enum class Encoding { Utf8, Cp1252 };

// Windows-1252 bytes 0x80..0x9F; every other byte is the code point of the same number.
// The five bytes the code page leaves undefined map to the C1 control of that number, as
// Windows converts them, so every byte decodes and encodes back to itself.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

bool isBlank(QChar c) {
    return c.unicode() < 0x80 && isBlank(char(c.unicode()));
}

Encoding detectEncoding(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(bytes);
    return utf8.hasError() ? Encoding::Cp1252 : Encoding::Utf8;
}

QString decode(QByteArrayView bytes, Encoding encoding) {
    if (encoding == Encoding::Utf8)
        return QString::fromUtf8(bytes);
    QString text(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto byte = uchar(bytes[i]);
        text[i] = (byte >= 0x80 && byte < 0xA0) ? QChar(kCp1252High[byte - 0x80]) : QChar(byte);
    }
    return text;
}

// False when a character has no Windows-1252 byte.
bool encodeCp1252(const QString& text, QByteArray* out) {
    out->clear();
    out->reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            out->append(char(u));
            continue;
        }
        const auto* high = std::find(std::begin(kCp1252High), std::end(kCp1252High), u);
        if (high == std::end(kCp1252High))
            return false;
        out->append(char(0x80 + (high - std::begin(kCp1252High))));
    }
    return true;
}

QByteArray encode(const QString& text, Encoding encoding) {
    if (encoding == Encoding::Utf8)
        return text.toUtf8();
    QByteArray bytes;
    encodeCp1252(text, &bytes);
    return bytes;
}

// The line ending of the file's first line; a file without one gets "\n".
QByteArray detectLineEnding(const QByteArray& bytes) {
    const qsizetype newline = bytes.indexOf('\n');
    if (newline > 0 && bytes[newline - 1] == '\r')
        return QByteArrayLiteral("\r\n");
    return QByteArrayLiteral("\n");
}

qsizetype skipBlanks(const QByteArray& bytes, qsizetype from, qsizetype end) {
    while (from < end && isBlank(bytes[from]))
        ++from;
    return from;
}

qsizetype trimEnd(const QByteArray& bytes, qsizetype begin, qsizetype end) {
    while (end > begin && isBlank(bytes[end - 1]))
        --end;
    return end;
}

bool sameName(QByteArrayView bytes, Encoding encoding, const QString& name) {
    return decode(bytes, encoding).compare(name, Qt::CaseInsensitive) == 0;
}

// Where a key stands in the file, found by one pass over the bytes. Only the first section
// of that name is searched, and the first line of the key in it counts.
struct KeyLocation {
    bool sectionFound = false;
    // Where a new key of the section goes: after its last key line, or after its header.
    qsizetype insertAt = 0;
    bool keyFound = false;
    qsizetype valueBegin = 0; // after the '=' and the blanks that follow it
    qsizetype valueEnd = 0;   // end of the line, before its line ending
};

// Lines are cut at '\n'; a '\r' before it belongs to the line ending. After leading
// blanks: an empty line is blank, ';' starts a comment, '[' a section header (its name
// runs to the last ']', or to the end of the line when there is none), and a line with
// '=' is a key. Any other line, and a key before the first header, belongs to no key.
KeyLocation locate(const QByteArray& bytes, Encoding encoding, const QString& section,
                   const QString& key) {
    KeyLocation where;
    const qsizetype size = bytes.size();
    qsizetype pos = 0;
    if (encoding == Encoding::Utf8 && bytes.startsWith(kUtf8Bom))
        pos = qsizetype(sizeof kUtf8Bom - 1);
    while (pos < size) {
        const qsizetype newline = bytes.indexOf('\n', pos);
        const qsizetype next = newline < 0 ? size : newline + 1;
        qsizetype end = newline < 0 ? size : newline;
        if (newline > pos && bytes[newline - 1] == '\r')
            --end;
        const qsizetype start = skipBlanks(bytes, pos, end);
        pos = next;
        if (start == end || bytes[start] == ';')
            continue;
        if (bytes[start] == '[') {
            if (where.sectionFound)
                break; // the end of the section
            qsizetype close = end;
            while (close > start + 1 && bytes[close - 1] != ']')
                --close;
            const qsizetype nameEnd = close > start + 1 ? close - 1 : end;
            const qsizetype nameBegin = skipBlanks(bytes, start + 1, nameEnd);
            const QByteArrayView name(bytes.constData() + nameBegin,
                                      trimEnd(bytes, nameBegin, nameEnd) - nameBegin);
            if (sameName(name, encoding, section)) {
                where.sectionFound = true;
                where.insertAt = next;
            }
            continue;
        }
        if (!where.sectionFound)
            continue;
        const qsizetype equals = bytes.indexOf('=', start);
        if (equals < 0 || equals >= end)
            continue;
        where.insertAt = next;
        const QByteArrayView name(bytes.constData() + start, trimEnd(bytes, start, equals) - start);
        if (sameName(name, encoding, key)) {
            where.keyFound = true;
            where.valueBegin = skipBlanks(bytes, equals + 1, end);
            where.valueEnd = end;
            break;
        }
    }
    return where;
}

// At most maxChars characters; a surrogate pair counts as one and is never split.
QString cutToChars(const QString& text, int maxChars) {
    qsizetype i = 0;
    for (int count = 0; count < maxChars && i < text.size(); ++count) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            i += 2;
        else
            ++i;
    }
    return text.left(i);
}

// Names that would not be found again once written, or that would break the line form.
QString nameProblem(const QString& name, bool isSection) {
    if (name.isEmpty())
        return QStringLiteral("A settings %1 name cannot be empty.")
            .arg(isSection ? QStringLiteral("section") : QStringLiteral("key"));
    if (name.contains(QLatin1Char('\n')) || name.contains(QLatin1Char('\r')))
        return QStringLiteral("The settings name \"%1\" holds a line break.").arg(name);
    if (isBlank(name.front()) || isBlank(name.back()))
        return QStringLiteral("The settings name \"%1\" starts or ends with a blank.").arg(name);
    if (isSection && name.contains(QLatin1Char(']')))
        return QStringLiteral("The section name \"%1\" holds a ']'.").arg(name);
    if (!isSection && (name.contains(QLatin1Char('=')) || name.front() == QLatin1Char('[') ||
                       name.front() == QLatin1Char(';')))
        return QStringLiteral("The key name \"%1\" cannot be stored.").arg(name);
    return {};
}

} // namespace

ProfileFile::ProfileFile(QString filePath) : m_filePath(std::move(filePath)) {}

QString ProfileFile::DefaultPath() {
    return QStringLiteral(AIRLOOM_SETTINGS_DIR "/Vidav.ini");
}

QString ProfileFile::Read(const QString& section, const QString& key, const QString& defaultValue,
                          int capacity) const {
    const int maxChars = capacity - 1;
    if (maxChars <= 0)
        return {};
    QFile file;
    if (!textfile::OpenForReading(file, m_filePath).isEmpty())
        return cutToChars(defaultValue, maxChars);
    const QByteArray bytes = file.readAll();
    const Encoding encoding = detectEncoding(bytes);
    const KeyLocation where = locate(bytes, encoding, section, key);
    if (!where.keyFound)
        return cutToChars(defaultValue, maxChars);
    const qsizetype valueEnd = trimEnd(bytes, where.valueBegin, where.valueEnd);
    QString value =
        decode(QByteArrayView(bytes.constData() + where.valueBegin, valueEnd - where.valueBegin),
               encoding);
    if (value.size() >= 2 && value.front() == value.back() &&
        (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')))
        value = value.mid(1, value.size() - 2);
    return cutToChars(value, maxChars);
}

ProfileFile::WriteResult ProfileFile::Write(const QString& section, const QString& key,
                                            const QString& value) {
    const auto failed = [](QString why) {
        return WriteResult{false, std::move(why)};
    };
    if (QString problem = nameProblem(section, true); !problem.isEmpty())
        return failed(problem);
    if (QString problem = nameProblem(key, false); !problem.isEmpty())
        return failed(problem);
    if (value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r')))
        return failed(QStringLiteral("The value of \"%1\" holds a line break, which the "
                                     "settings file cannot store.")
                          .arg(key));

    const QFileInfo info(m_filePath);
    const QString folder = info.absolutePath();
    if (!QFileInfo(folder).isDir() && !QDir().mkpath(folder))
        return failed(QStringLiteral("Cannot create the folder %1.").arg(folder));
    if (info.isDir())
        return failed(QStringLiteral("%1 is a folder, not a settings file.").arg(m_filePath));

    // The old text must be read in full: writing without it would lose every other setting.
    QByteArray bytes;
    if (info.exists()) {
        QFile old;
        if (const QString why = textfile::OpenForReading(old, m_filePath); !why.isEmpty())
            return failed(QStringLiteral("Cannot read %1: %2").arg(m_filePath, why));
        bytes = old.readAll();
        if (old.error() != QFileDevice::NoError)
            return failed(QStringLiteral("Cannot read %1: %2").arg(m_filePath, old.errorString()));
    }

    // A Windows-1252 file stays so while the new text fits the code page; otherwise the
    // whole file becomes UTF-8, every line keeping its text.
    Encoding encoding = detectEncoding(bytes);
    if (encoding == Encoding::Cp1252) {
        QByteArray unused;
        if (!encodeCp1252(section + key + value, &unused)) {
            bytes = decode(bytes, Encoding::Cp1252).toUtf8();
            encoding = Encoding::Utf8;
        }
    }
    const QByteArray lineEnding = detectLineEnding(bytes);
    const QByteArray keyLine = encode(key, encoding) + '=' + encode(value, encoding);
    const KeyLocation where = locate(bytes, encoding, section, key);

    QByteArray text;
    if (where.keyFound) {
        text = bytes.left(where.valueBegin) + encode(value, encoding) + bytes.mid(where.valueEnd);
    } else {
        const qsizetype at = where.sectionFound ? where.insertAt : bytes.size();
        text = bytes.left(at);
        if (at > 0 && bytes[at - 1] != '\n')
            text += lineEnding;
        if (!where.sectionFound)
            text += '[' + encode(section, encoding) + ']' + lineEnding;
        text += keyLine + lineEnding + bytes.mid(at);
    }
    if (info.exists() && text == bytes)
        return {true, {}};

    QSaveFile save(m_filePath);
    if (!save.open(QIODevice::WriteOnly))
        return failed(QStringLiteral("Cannot write %1: %2").arg(m_filePath, save.errorString()));
    // commit() does not notice a write that fails on close (a full disk, a size limit) and
    // would rename a short file over the old one, so the text is written and synced first,
    // on the descriptor: the save file reports such failures as "Unknown error", and the
    // operator is told the system's reason ("No space left on device").
    const QString why = textfile::WriteAndSync(save.handle(), text);
    if (!why.isEmpty()) {
        save.cancelWriting();
        save.commit(); // cancelled: removes the temporary file, keeps the old one
        return failed(QStringLiteral("Cannot write %1: %2").arg(m_filePath, why));
    }
    if (!save.commit())
        return failed(QStringLiteral("Cannot write %1: %2").arg(m_filePath, save.errorString()));
    // The file is shared by the studio's users (the folder's group), so a new file is made
    // group-writable; an existing one keeps the permissions it had.
    if (!info.exists())
        QFile::setPermissions(m_filePath, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                              QFileDevice::ReadOther);
    return {true, {}};
}

QStringList ProfileFile::RemoveStaleTemporaries() const {
    constexpr qint64 kStaleAfterSeconds = 60;
    const QFileInfo info(m_filePath);
    const QRegularExpression temporary(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(info.fileName()) + QStringLiteral("\\.[A-Za-z0-9]{6}")));
    const QDateTime staleBefore = QDateTime::currentDateTime().addSecs(-kStaleAfterSeconds);
    QStringList removed;
    const QFileInfoList candidates = info.absoluteDir().entryInfoList(
        {info.fileName() + QStringLiteral(".??????")}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo& candidate : candidates) {
        if (!temporary.match(candidate.fileName()).hasMatch() || candidate.isSymLink() ||
            candidate.lastModified() >= staleBefore)
            continue;
        if (QFile::remove(candidate.absoluteFilePath()))
            removed << candidate.absoluteFilePath();
    }
    return removed;
}
