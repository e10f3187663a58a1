#include "app/appextras.h"
#include "decks/asrunlog.h"
#include "remote/deckstatus.h"
#include "remote/midicontrol.h"
#include "remote/nowplaying.h"
#include "remote/oscserver.h"
#include "support/apprig.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <lo/lo.h>
#include <poll.h>
#include <unistd.h>

namespace {

// The program with an OSC server on a free port of 127.0.0.1 and the MIDI side fed by hand
// (its ports are not needed), both acting through the program's own key map.
struct RemoteRig : AppRig {
    explicit RemoteRig(const QStringList& allow = {"127.0.0.1"}) : AppRig(true, true) {
        OscServer::Options options;
        options.allow = allow;
        options.settingsPath = iniPath;
        osc = std::make_unique<OscServer>(options, app->keys(), decks(), watcher);
        midi.recordLights(&lights);
        client = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(client, reinterpret_cast<sockaddr*>(&local), sizeof local);
    }
    ~RemoteRig() { close(client); }

    // Sends a packet from the client socket and waits until the server has handled it (a
    // status request after it is answered only once everything before it was carried out).
    void send(const QByteArray& packet) const {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(std::uint16_t(osc->port()));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        sendto(client, packet.constData(), std::size_t(packet.size()), 0,
               reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
    static QByteArray message(const char* path, const char* types = "", int i = 0,
                              const char* s = nullptr) {
        const lo_message m = lo_message_new();
        for (const char* t = types; *t != '\0'; ++t) {
            if (*t == 'i')
                lo_message_add_int32(m, i);
            else if (*t == 's')
                lo_message_add_string(m, s);
            else if (*t == 'f')
                lo_message_add_float(m, float(i));
        }
        std::size_t size = 0;
        void* data = lo_message_serialise(m, path, nullptr, &size);
        QByteArray packet(static_cast<const char*>(data), qsizetype(size));
        free(data);
        lo_message_free(m);
        return packet;
    }
    // The next OSC message that reaches the client as (path, types), running the UI thread
    // meanwhile; empty after 5 s.
    std::pair<QString, QString> receive() const {
        for (int turn = 0; turn < 500; ++turn) {
            QCoreApplication::processEvents();
            pollfd wait{client, POLLIN, 0};
            if (poll(&wait, 1, 10) != 1)
                continue;
            char buffer[4096];
            const ssize_t size = recv(client, buffer, sizeof buffer, 0);
            int result = 0;
            const lo_message m = lo_message_deserialise(buffer, std::size_t(size), &result);
            if (m == nullptr)
                return {};
            const std::pair<QString, QString> got{QString(buffer), lo_message_get_types(m)};
            lastArgs = QStringList();
            for (int a = 0; a < lo_message_get_argc(m); ++a)
                if (lo_message_get_types(m)[a] == 's')
                    lastArgs << QString::fromUtf8(
                        reinterpret_cast<const char*>(lo_message_get_argv(m)[a]));
            lo_message_free(m);
            return got;
        }
        return {};
    }
    // Sends packets, then a status request, and waits for its answer.
    void sendAll(const QList<QByteArray>& packets) const {
        for (const QByteArray& packet : packets)
            send(packet);
        send(message("/airloom/status"));
        ASSERT_EQ(receive().first, "/airloom/status");
    }

    DeckWatcher watcher{decks()};
    std::unique_ptr<OscServer> osc;
    MidiControl midi{{}, app->keys(), watcher};
    std::vector<MidiMessage> lights;
    int client = -1;
    mutable QStringList lastArgs;
};

} // namespace

TEST(RemoteControl, OscMessagesActOnceThroughTheKeys) {
    RemoteRig rig;
    ASSERT_TRUE(rig.osc->isListening());
    rig.load(1, "News.wav");
    rig.load(2, "Sunday.wav");
    rig.sendAll({RemoteRig::message("/airloom/deck/2/fire")});
    EXPECT_TRUE(rig.decks().IsPlaying(2));
    // A button's release does nothing; its next press stops the deck, as F2 again does.
    rig.sendAll({RemoteRig::message("/airloom/deck/2/fire", "f", 0)});
    EXPECT_TRUE(rig.decks().IsPlaying(2));
    rig.sendAll({RemoteRig::message("/airloom/deck/2/fire", "i", 1)});
    EXPECT_FALSE(rig.decks().IsPlaying(2));
    rig.sendAll({RemoteRig::message("/airloom/deck/1/empty")});
    EXPECT_EQ(rig.decks().FilePath(1), "");
    // Bad input of every kind changes nothing and is counted.
    rig.sendAll({QByteArray("/airloom/deck/2/fire"), QByteArray(5000, 'x'),
                 RemoteRig::message("/airloom/deck/11/fire"), RemoteRig::message("/airloom/go"),
                 RemoteRig::message("/airloom/deck/2/fire", "s", 0, "x"),
                 RemoteRig::message("/airloom/deck/2/load", "i", 1)});
    EXPECT_FALSE(rig.decks().IsPlaying(2));
    const WarningCounter& warnings = rig.osc->warnings();
    EXPECT_EQ(warnings.count("malformed packet"), 1u);
    EXPECT_EQ(warnings.count("oversize packet"), 1u);
    EXPECT_EQ(warnings.count("unknown address"), 2u);
    EXPECT_EQ(warnings.count("wrong argument types"), 2u);
}

TEST(RemoteControl, OscLoadTakesOnlyAFileTheCategoryLists) {
    RemoteRig rig;
    const QString outside = rig.folder("outside", {"Secret.wav"});
    ASSERT_TRUE(QFile::link(outside + "/Secret.wav", rig.carts + "/Escape.wav"));
    ASSERT_TRUE(QFile::link(rig.carts + "/News.wav", rig.carts + "/Alias.wav"));
    const auto load = [](int deck, const char* name, int category = 1) {
        return RemoteRig::message(
            QStringLiteral("/airloom/deck/%1/load").arg(deck).toUtf8().constData(), "is", category,
            name);
    };
    rig.sendAll({load(3, "../outside/Secret.wav"), load(3, "Escape.wav"), load(3, ".."),
                 load(3, "Missing.wav"), load(3, "News.wav", 2), load(3, "News.wav", 11)});
    EXPECT_EQ(rig.decks().FilePath(3), "");
    EXPECT_EQ(rig.osc->warnings().count("load refused"), 6u);
    rig.sendAll({load(3, "Station ID.wav"), load(4, "Alias.wav")});
    rig.app->audio().waitForMeasurements();
    QCoreApplication::processEvents();
    EXPECT_EQ(rig.decks().FilePath(3), rig.carts + "/Station ID.wav");
    EXPECT_EQ(rig.decks().Controls(3).deckCaption, "Station ID");
    EXPECT_EQ(rig.decks().FilePath(4), rig.carts + "/Alias.wav");
}

TEST(RemoteControl, HostsNotAllowedChangeNothing) {
    RemoteRig rig({"192.0.2.1"});
    rig.load(1, "News.wav");
    rig.send(RemoteRig::message("/airloom/deck/1/fire"));
    rig.send(RemoteRig::message("/airloom/status"));
    for (int turn = 0;
         turn < 500 && rig.osc->warnings().count("message from a host not allowed") < 2; ++turn)
        usleep(10000);
    QCoreApplication::processEvents();
    EXPECT_EQ(rig.osc->warnings().count("message from a host not allowed"), 2u);
    EXPECT_FALSE(rig.decks().IsPlaying(1));
}

TEST(RemoteControl, SubscribersAndPadsFollowEachStateChange) {
    RemoteRig rig;
    rig.send(RemoteRig::message("/airloom/subscribe"));
    EXPECT_EQ(rig.receive(), std::make_pair(QString("/airloom/status"), QString("i"
                                                                                "ssssi")
                                                                            .repeated(10)));

    rig.load(1, "News.wav");
    EXPECT_EQ(rig.receive().first, "/airloom/deck/1/state"); // once, with all of the load
    EXPECT_EQ(rig.lastArgs, (QStringList{"News", "0:00:00", "loaded", "Norm"}));
    EXPECT_EQ(rig.lights.back(), (MidiMessage{0x90, 36, 5}));

    // A note on fires deck 1 (running status: the second is its note off).
    const std::uint8_t fire[] = {0x99, 36, 127, 36, 0};
    rig.midi.handleBytes(fire, sizeof fire);
    rig.decks().Timer1_Timer();
    EXPECT_TRUE(rig.decks().IsPlaying(1));
    EXPECT_EQ(rig.receive().first, "/airloom/deck/1/state");
    EXPECT_EQ(rig.lastArgs[2], "playing");
    EXPECT_EQ(rig.lights.back(), (MidiMessage{0x90, 36, 1}));

    const std::uint8_t stop[] = {0x90, 46, 1, 0xF0, 0x10, 36, 127, 0xF7, 36, 127};
    rig.midi.handleBytes(stop, sizeof stop);
    EXPECT_FALSE(rig.decks().IsPlaying(1));
    EXPECT_EQ(rig.receive().first, "/airloom/deck/1/state");
    EXPECT_EQ(rig.lastArgs[2], "loaded");
    EXPECT_EQ(rig.lights.back(), (MidiMessage{0x90, 36, 5}));
    EXPECT_EQ(rig.midi.warnings().count("SysEx message"), 1u);
    // After SysEx there is no running status: the last two bytes fire nothing.
    EXPECT_EQ(rig.midi.warnings().count("byte outside any message"), 2u);
    rig.decks().ToggleDeckLock(1);
    EXPECT_EQ(rig.receive().first, "/airloom/deck/1/state");
    EXPECT_EQ(rig.lights.back(), (MidiMessage{0x90, 36, 3}));

    // After the unsubscription the answer to a status request is all that comes back.
    rig.sendAll({RemoteRig::message("/airloom/unsubscribe")});
    rig.decks().ToggleDeckLock(1);
    rig.sendAll({});
}

TEST(RemoteControl, NowPlayingNamesTheCartOnAir) {
    // The encoder's OSC port.
    const int encoder = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof local;
    bind(encoder, reinterpret_cast<sockaddr*>(&local), sizeof local);
    getsockname(encoder, reinterpret_cast<sockaddr*>(&local), &length);
    const auto sent = [encoder] {
        char buffer[1024];
        const ssize_t size = recv(encoder, buffer, sizeof buffer, 0);
        int result = 0;
        const lo_message m =
            lo_message_deserialise(buffer, std::size_t(std::max<ssize_t>(size, 0)), &result);
        if (m == nullptr)
            return QString();
        const QString got = QString(buffer) + ' ' + lo_message_get_types(m);
        lo_message_free(m);
        return got;
    };
    AppRig rig(true, true,
               QString("\n[nowplaying]\nEnabled=1\nOsc=127.0.0.1:%1\n").arg(ntohs(local.sin_port)));
    NowPlaying& nowPlaying = *rig.app->extras().nowPlaying();
    const QString path = rig.dir.filePath("nowplaying.json");
    const auto read = [&] {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return QJsonDocument::fromJson(file.readAll()).object();
    };
    nowPlaying.flush();
    EXPECT_TRUE(read().isEmpty());
    rig.load(5, "Station ID.wav");
    rig.decks().FireDeck(5);
    nowPlaying.flush();
    const QJsonObject onAir = read();
    EXPECT_EQ(onAir["deck"].toInt(), 5);
    EXPECT_EQ(onAir["cart"].toString(), "Station ID");
    EXPECT_EQ(onAir["path"].toString(), rig.carts + "/Station ID.wav");
    EXPECT_EQ(onAir["length_ms"].toInt(), 300);
    EXPECT_FALSE(onAir["started"].toString().isEmpty());
    EXPECT_EQ(sent(), "/airloom/nowplaying "); // at start-up
    EXPECT_EQ(sent(), "/airloom/nowplaying issis");
    rig.decks().StopCart();
    nowPlaying.flush();
    EXPECT_TRUE(read().isEmpty());
    EXPECT_EQ(sent(), "/airloom/nowplaying ");
    close(encoder);
    // The as-run log hears the same play beside it.
    rig.app->extras().asRunLog()->flush();
    EXPECT_EQ(QDir(rig.dir.filePath("log")).entryList(QDir::Files).size(), 1);
    EXPECT_EQ(QDir(rig.dir.path()).entryList({"nowplaying*"}), QStringList{"nowplaying.json"});
}
