#include "remote/oscdispatch.h"

#include "common/decks.h"

#include <QRegularExpression>
#include <cstdint>
#include <cstring>
#include <lo/lo.h>

namespace {

const QString kMalformed = QStringLiteral("malformed packet");
const QString kUnknown = QStringLiteral("unknown address");
const QString kWrongTypes = QStringLiteral("wrong argument types");

// Frees liblo's message (a void pointer) at the end of the scope.
struct OwnedMessage {
    lo_message message;
    ~OwnedMessage() {
        if (message != nullptr)
            lo_message_free(message);
    }
};

// OSC aligns arguments to four bytes, liblo's union to eight: the values are copied out.
std::int32_t intArg(lo_arg* arg) {
    std::int32_t value = 0;
    std::memcpy(&value, arg, sizeof value);
    return value;
}
float floatArg(lo_arg* arg) {
    float value = 0.0f;
    std::memcpy(&value, arg, sizeof value);
    return value;
}

// A button's press: no argument, or one number or boolean that is not 0 or false.
std::optional<bool> pressOf(const char* types, lo_arg** argv) {
    if (types[0] == '\0')
        return true;
    if (types[1] != '\0')
        return std::nullopt;
    switch (types[0]) {
    case 'i':
        return intArg(argv[0]) != 0;
    case 'f':
        return floatArg(argv[0]) != 0.0f;
    case 'T':
        return true;
    case 'F':
        return false;
    default:
        return std::nullopt;
    }
}

} // namespace

OscParse ParseOscPacket(const char* data, std::size_t size) {
    OscParse parse;
    if (size >= 8 && std::memcmp(data, "#bundle", 8) == 0) {
        parse.fault = QStringLiteral("bundle");
        return parse;
    }
    // liblo reads from a buffer it may change: a copy keeps the caller's bytes as they were.
    QByteArray copy(data, qsizetype(size));
    int result = 0;
    const OwnedMessage owned{
        lo_message_deserialise(copy.data(), std::size_t(copy.size()), &result)};
    const lo_message message = owned.message;
    if (message == nullptr) {
        parse.fault = kMalformed;
        return parse;
    }
    const QString path = QString::fromUtf8(copy.constData()); // validated by liblo
    const char* types = lo_message_get_types(message);
    lo_arg** argv = lo_message_get_argv(message);
    if (types == nullptr)
        types = "";

    static const QRegularExpression deckPath(
        QStringLiteral("^/airloom/deck/(10|[1-9])/(fire|empty|load)$"));
    OscCommand command;
    const QRegularExpressionMatch match = deckPath.match(path);
    if (match.hasMatch()) {
        const int deck = match.captured(1).toInt();
        const QString verb = match.captured(2);
        if (verb == QLatin1String("load")) {
            if (std::strcmp(types, "is") != 0) {
                parse.fault = kWrongTypes;
                return parse;
            }
            command.kind = OscCommand::LoadFile;
            command.action = {DeckAction::Load, deck};
            command.category = intArg(argv[0]);
            command.fileName = QString::fromUtf8(reinterpret_cast<const char*>(argv[1]));
            parse.command = command;
            return parse;
        }
        command.action = {verb == QLatin1String("fire") ? DeckAction::Fire : DeckAction::Empty,
                          deck};
    } else if (path == QLatin1String("/airloom/stop")) {
        command.action = {DeckAction::Stop, 0};
    } else if (path == QLatin1String("/airloom/status")) {
        if (types[0] != '\0') {
            parse.fault = kWrongTypes;
            return parse;
        }
        command.kind = OscCommand::Status;
        parse.command = command;
        return parse;
    } else if (path == QLatin1String("/airloom/subscribe") ||
               path == QLatin1String("/airloom/unsubscribe")) {
        command.kind = path.endsWith(QLatin1String("/subscribe")) ? OscCommand::Subscribe
                                                                  : OscCommand::Unsubscribe;
        const std::int32_t port = std::strcmp(types, "i") == 0 ? intArg(argv[0]) : 0;
        if (port > 0 && port <= 65535)
            command.replyPort = port;
        else if (types[0] != '\0') {
            parse.fault = kWrongTypes;
            return parse;
        }
        parse.command = command;
        return parse;
    } else {
        parse.fault = kUnknown;
        return parse;
    }

    const std::optional<bool> press = pressOf(types, argv);
    if (!press)
        parse.fault = kWrongTypes;
    else if (*press)
        parse.command = command;
    return parse;
}
