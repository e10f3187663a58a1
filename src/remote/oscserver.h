#pragma once

#include "remote/oscdispatch.h"
#include "remote/warningcounter.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <deque>
#include <mutex>
#include <netinet/in.h>
#include <set>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <vector>

class DeckEngine;
class DeckWatcher;
class FunctionKeys;

// A cart file named by a remote control, checked on the network thread: category 1..10, a
// name its folder (read from the settings file) lists as a cart, with no "/" and not "." or
// "..", whose real path (links followed) lies in the folder's. The folder on success;
// otherwise "" with the reason in *why.
QString FindListedCart(const QString& settingsPath, int category, const QString& fileName,
                       QString* why);

// The OSC server of [remote] (the messages in oscdispatch.h) on one UDP address and port.
//
// Its own thread waits on the socket (nothing wakes it while nothing arrives), reads each
// datagram, drops those from hosts not allowed, too long, malformed or naming nothing known,
// checks a load's file, and queues what is left for the UI thread; at most kQueued wait, so
// a flood is dropped, not piled up. The UI thread takes kPerPass of them per queued call
// (then calls again, after the events that wait) and carries out each command once, through the key
// map (or the deck engine's LoadCartFile, the routine Ctrl+F-key ends in). Every kind of dropped
// datagram is counted, and told on stderr. The deck table and its changes go back as:
//   /airloom/status          ten times: deck i, name s, length s, state s, mode s, locked i
//   /airloom/deck/N/state    name s, length s, state s, mode s, locked i (to subscribers)
//
// Created and destroyed on the UI thread.
class OscServer : public QObject {
    Q_OBJECT
public:
    static constexpr std::size_t kQueued = 256;
    static constexpr std::size_t kPerPass = 16; // commands carried out per event loop pass
    static constexpr std::size_t kSubscribers = 16;

    struct Options {
        QString listen = QStringLiteral("127.0.0.1"); // a numeric address
        int port = 0;                                 // 0: any free port (tests)
        QStringList allow{QStringLiteral("127.0.0.1")};
        QString settingsPath; // Vidav.ini, for the category folders
    };
    OscServer(Options options, FunctionKeys& keys, DeckEngine& decks, const DeckWatcher& watcher,
              QObject* parent = nullptr);
    ~OscServer() override;

    bool isListening() const { return m_socket >= 0; }
    int port() const { return m_port; }
    const WarningCounter& warnings() const { return m_warnings; }
    // Carries out the next kPerPass commands queued (the queued call).
    void takeCommands();

private:
    struct Queued {
        OscCommand command;
        QString folder; // LoadFile: the checked folder
        sockaddr_storage from{};
        socklen_t fromLength = 0;
    };
    void run();
    void receive(std::vector<char>& buffer);
    bool allowed(const sockaddr_storage& from) const;
    void send(const QByteArray& packet, const sockaddr_storage& to, socklen_t length) const;
    void sendStatus(const sockaddr_storage& to, socklen_t length) const;
    void tellSubscribers(int deck);

    const Options m_options;
    FunctionKeys& m_keys;
    DeckEngine& m_decks;
    const DeckWatcher& m_watcher;
    WarningCounter m_warnings{QStringLiteral("OSC")};
    int m_socket = -1;
    int m_quit = -1; // eventfd that ends the thread
    int m_port = 0;
    std::set<std::string> m_allowed; // network thread: numeric addresses

    std::mutex m_mutex;
    std::deque<Queued> m_queue; // guarded
    bool m_posted = false;      // guarded: a queued call is on its way

    struct Subscriber {
        sockaddr_storage to{};
        socklen_t length = 0;
    };
    std::vector<Subscriber> m_subscribers; // UI thread
    std::thread m_thread;
};
