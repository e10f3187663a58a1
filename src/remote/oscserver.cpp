#include "remote/oscserver.h"

#include "common/cartselection.h"
#include "common/decks.h"
#include "config/profilefile.h"
#include "config/settings.h"
#include "decks/deckengine.h"
#include "library/cartlist.h"
#include "remote/deckstatus.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <lo/lo.h>
#include <netdb.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

// The numeric form of an address; an IPv4 address mapped into IPv6 reads as IPv4.
std::string numericAddress(const sockaddr_storage& from) {
    char text[INET6_ADDRSTRLEN] = {};
    if (from.ss_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(&from);
        inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
    } else if (from.ss_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&from);
        if (IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr))
            inet_ntop(AF_INET, &v6->sin6_addr.s6_addr[12], text, sizeof text);
        else
            inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
    }
    return text;
}

void setPort(sockaddr_storage& address, int port) {
    if (address.ss_family == AF_INET)
        reinterpret_cast<sockaddr_in*>(&address)->sin_port = htons(std::uint16_t(port));
    else if (address.ss_family == AF_INET6)
        reinterpret_cast<sockaddr_in6*>(&address)->sin6_port = htons(std::uint16_t(port));
}

bool sameAddress(const sockaddr_storage& a, socklen_t aLength, const sockaddr_storage& b,
                 socklen_t bLength) {
    return aLength == bLength && std::memcmp(&a, &b, aLength) == 0;
}

QByteArray serialise(lo_message message, const char* path) {
    std::size_t size = 0;
    void* data = lo_message_serialise(message, path, nullptr, &size);
    QByteArray packet(static_cast<const char*>(data), qsizetype(size));
    std::free(data);
    lo_message_free(message);
    return packet;
}

void addStatus(lo_message message, const DeckStatus& status) {
    lo_message_add_string(message, status.name.toUtf8().constData());
    lo_message_add_string(message, status.length.toUtf8().constData());
    lo_message_add_string(message, status.state.toUtf8().constData());
    lo_message_add_string(message, status.mode.toUtf8().constData());
    lo_message_add_int32(message, status.locked ? 1 : 0);
}

} // namespace

QString FindListedCart(const QString& settingsPath, int category, const QString& fileName,
                       QString* why) {
    if (category < 1 || category > SettingsKeys::kCategoryCount) {
        *why = QStringLiteral("no category %1").arg(category);
        return {};
    }
    if (fileName.contains(QLatin1Char('/')) || fileName == QLatin1String(".") ||
        fileName == QLatin1String("..") || fileName.contains(QChar(0))) {
        *why = QStringLiteral("not a file name: %1").arg(fileName);
        return {};
    }
    // The file is read afresh: the configuration window may have changed the folder.
    const ProfileFile settings(settingsPath);
    const QString folder = ReadCategoryPath(settings, category);
    CartList list;
    QString error;
    if (!list.setPath(folder, &error)) {
        *why = error;
        return {};
    }
    if (!list.names().contains(fileName)) {
        *why = QStringLiteral("%1 is not a cart of category %2").arg(fileName).arg(category);
        return {};
    }
    // A link may lead anywhere; only one into the folder itself is taken.
    const QString real = QFileInfo(JoinCartPath(list.Path(), fileName)).canonicalFilePath();
    const QString realFolder = QFileInfo(list.Path()).canonicalFilePath();
    if (real.isEmpty() || QFileInfo(real).absolutePath() != realFolder) {
        *why = QStringLiteral("%1 leads out of category %2's folder").arg(fileName).arg(category);
        return {};
    }
    return list.Path();
}

OscServer::OscServer(Options options, FunctionKeys& keys, DeckEngine& decks,
                     const DeckWatcher& watcher, QObject* parent)
    : QObject(parent), m_options(std::move(options)), m_keys(keys), m_decks(decks),
      m_watcher(watcher) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const QByteArray port = QByteArray::number(m_options.port);
    const int resolved =
        getaddrinfo(m_options.listen.toUtf8().constData(), port.constData(), &hints, &found);
    if (resolved != 0) {
        std::fprintf(stderr, "OSC: cannot listen on %s: %s\n", qUtf8Printable(m_options.listen),
                     gai_strerror(resolved));
        return;
    }
    const int fd = socket(found->ai_family, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0 || bind(fd, found->ai_addr, found->ai_addrlen) != 0) {
        std::fprintf(stderr, "OSC: cannot listen on %s port %d: %s\n",
                     qUtf8Printable(m_options.listen), m_options.port, std::strerror(errno));
        if (fd >= 0)
            close(fd);
        freeaddrinfo(found);
        return;
    }
    freeaddrinfo(found);
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
    m_port = ntohs(bound.ss_family == AF_INET ? reinterpret_cast<sockaddr_in*>(&bound)->sin_port
                                              : reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port);
    m_socket = fd;
    m_quit = eventfd(0, EFD_CLOEXEC);
    connect(&watcher, &DeckWatcher::statusChanged, this, &OscServer::tellSubscribers);
    m_thread = std::thread([this] { run(); });
}

OscServer::~OscServer() {
    if (m_thread.joinable()) {
        const std::uint64_t one = 1;
        (void)!write(m_quit, &one, sizeof one);
        m_thread.join();
    }
    if (m_quit >= 0)
        close(m_quit);
    if (m_socket >= 0)
        close(m_socket);
}

void OscServer::run() {
    pthread_setname_np(pthread_self(), "airloom-osc");
    // Names are looked up here, where a slow name server holds up nothing else.
    for (const QString& host : m_options.allow) {
        addrinfo hints{};
        hints.ai_socktype = SOCK_DGRAM;
        addrinfo* found = nullptr;
        if (getaddrinfo(host.toUtf8().constData(), nullptr, &hints, &found) != 0) {
            std::fprintf(stderr, "OSC: allowed host %s is not found\n", qUtf8Printable(host));
            continue;
        }
        for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
            sockaddr_storage address{};
            std::memcpy(&address, a->ai_addr, a->ai_addrlen);
            m_allowed.insert(numericAddress(address));
        }
        freeaddrinfo(found);
    }
    std::vector<char> buffer(kMaxOscPacket + 1);
    for (;;) {
        pollfd waits[2] = {{m_socket, POLLIN, 0}, {m_quit, POLLIN, 0}};
        if (poll(waits, 2, -1) < 0 && errno != EINTR)
            break;
        if (waits[1].revents != 0)
            break;
        if (waits[0].revents != 0)
            receive(buffer);
    }
}

void OscServer::receive(std::vector<char>& buffer) {
    for (;;) {
        Queued queued;
        queued.fromLength = sizeof queued.from;
        const ssize_t size =
            recvfrom(m_socket, buffer.data(), buffer.size(), MSG_TRUNC,
                     reinterpret_cast<sockaddr*>(&queued.from), &queued.fromLength);
        if (size < 0)
            return; // EAGAIN: read all
        const std::string host = numericAddress(queued.from);
        if (!allowed(queued.from)) {
            m_warnings.note(QStringLiteral("message from a host not allowed"),
                            QString::fromStdString(host));
            continue;
        }
        if (std::size_t(size) > kMaxOscPacket) {
            m_warnings.note(QStringLiteral("oversize packet"),
                            QStringLiteral("%1 bytes from %2").arg(size).arg(host.c_str()));
            continue;
        }
        OscParse parse = ParseOscPacket(buffer.data(), std::size_t(size));
        if (!parse.fault.isEmpty()) {
            m_warnings.note(parse.fault, QString::fromStdString(host));
            continue;
        }
        if (!parse.command)
            continue; // a button's release
        queued.command = std::move(*parse.command);
        if (queued.command.kind == OscCommand::LoadFile) {
            QString why;
            queued.folder = FindListedCart(m_options.settingsPath, queued.command.category,
                                           queued.command.fileName, &why);
            if (queued.folder.isEmpty()) {
                m_warnings.note(QStringLiteral("load refused"), why);
                continue;
            }
        }
        bool full = false, post = false;
        {
            const std::lock_guard lock(m_mutex);
            full = m_queue.size() >= kQueued;
            if (!full) {
                m_queue.push_back(std::move(queued));
                post = !std::exchange(m_posted, true);
            }
        }
        if (full)
            m_warnings.note(QStringLiteral("message beyond a full queue (a flood)"),
                            QString::fromStdString(host));
        if (post)
            QMetaObject::invokeMethod(this, &OscServer::takeCommands, Qt::QueuedConnection);
    }
}

bool OscServer::allowed(const sockaddr_storage& from) const {
    return m_allowed.count(numericAddress(from)) != 0;
}

void OscServer::takeCommands() {
    // A few at a time: the keys, the clicks and the end-of-cart timer get their turn between
    // the passes however much a flood has queued.
    std::deque<Queued> taken;
    bool more = false;
    {
        const std::lock_guard lock(m_mutex);
        const std::size_t count = std::min(m_queue.size(), kPerPass);
        std::move(m_queue.begin(), m_queue.begin() + std::ptrdiff_t(count),
                  std::back_inserter(taken));
        m_queue.erase(m_queue.begin(), m_queue.begin() + std::ptrdiff_t(count));
        more = !m_queue.empty();
        m_posted = more; // a call is on its way again
    }
    if (more)
        QMetaObject::invokeMethod(this, &OscServer::takeCommands, Qt::QueuedConnection);
    for (Queued& queued : taken) {
        const OscCommand& command = queued.command;
        switch (command.kind) {
        case OscCommand::Action:
            PerformDeckAction(m_keys, command.action);
            break;
        case OscCommand::LoadFile:
            m_decks.LoadCartFile(command.action.deck, queued.folder, command.fileName);
            break;
        case OscCommand::Status:
            sendStatus(queued.from, queued.fromLength);
            break;
        case OscCommand::Subscribe:
        case OscCommand::Unsubscribe: {
            if (command.replyPort != 0)
                setPort(queued.from, command.replyPort);
            std::erase_if(m_subscribers, [&](const Subscriber& s) {
                return sameAddress(s.to, s.length, queued.from, queued.fromLength);
            });
            if (command.kind == OscCommand::Unsubscribe)
                break;
            if (m_subscribers.size() >= kSubscribers)
                m_subscribers.erase(m_subscribers.begin()); // the oldest makes room
            m_subscribers.push_back({queued.from, queued.fromLength});
            sendStatus(queued.from, queued.fromLength);
            break;
        }
        }
    }
}

void OscServer::send(const QByteArray& packet, const sockaddr_storage& to, socklen_t length) const {
    // A full socket buffer drops the reply rather than wait: UDP promises no more.
    (void)sendto(m_socket, packet.constData(), std::size_t(packet.size()), MSG_DONTWAIT,
                 reinterpret_cast<const sockaddr*>(&to), length);
}

void OscServer::sendStatus(const sockaddr_storage& to, socklen_t length) const {
    const lo_message message = lo_message_new();
    for (int deck = 1; deck <= kDeckCount; ++deck) {
        lo_message_add_int32(message, deck);
        addStatus(message, DeckStatus::Of(m_decks, deck)); // as it is now
    }
    send(serialise(message, "/airloom/status"), to, length);
}

void OscServer::tellSubscribers(int deck) {
    if (m_subscribers.empty())
        return;
    const lo_message message = lo_message_new();
    addStatus(message, m_watcher.status(deck));
    const QByteArray path = QStringLiteral("/airloom/deck/%1/state").arg(deck).toUtf8();
    const QByteArray packet = serialise(message, path.constData());
    for (const Subscriber& subscriber : m_subscribers)
        send(packet, subscriber.to, subscriber.length);
}
