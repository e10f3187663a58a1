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
#include <unistd.h>

namespace {

// The program with an OSC server on 127.0.0.1 and MIDI fed by hand, both acting through the
// key map; the client is a liblo server on a free port, which hears the answers.
struct RemoteRig : AppRig {
    explicit RemoteRig(const QStringList& allow = {"127.0.0.1"}) : AppRig(true, true) {
        OscServer::Options options;
        options.allow = allow;
        options.settingsPath = iniPath;
        osc = std::make_unique<OscServer>(options, app->keys(), decks(), watcher);
        midi.recordLights(&lights);
        lo_server_add_method(client, nullptr, nullptr, &RemoteRig::heard, this);
    }
    ~RemoteRig() { lo_server_free(client); }

    // Sends a packet from the client to the server.
    void send(const QByteArray& packet) const {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(std::uint16_t(osc->port()));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        sendto(lo_server_get_socket_fd(client), packet.constData(), std::size_t(packet.size()), 0,
               reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
    template <typename... Args> // as C varargs: a float is given as a double
    static QByteArray message(const char* path, const char* types = "", Args... args) {
        const lo_message m = lo_message_new();
        lo_message_add(m, types, args...);
        std::size_t size = 0;
        void* data = lo_message_serialise(m, path, nullptr, &size);
        QByteArray packet(static_cast<const char*>(data), qsizetype(size));
        free(data);
        lo_message_free(m);
        return packet;
    }
    static int heard(const char* path, const char* types, lo_arg** argv, int argc, lo_message,
                     void* self) {
        auto* rig = static_cast<RemoteRig*>(self);
        rig->got = {path, types};
        rig->lastArgs.clear();
        for (int a = 0; a < argc; ++a) // arguments are aligned to four bytes only
            if (types[a] == 's')
                rig->lastArgs << QString::fromUtf8(reinterpret_cast<const char*>(argv[a]));
        return 0;
    }
    // The next OSC message that reaches the client as (path, types), running the UI thread
    // meanwhile; empty after 5 s.
    std::pair<QString, QString> receive() {
        got = {};
        for (int turn = 0; turn < 500 && got.first.isEmpty(); ++turn) {
            QCoreApplication::processEvents();
            lo_server_recv_noblock(client, 10);
        }
        return got;
    }
    // Sends packets, then a status request, and waits for its answer (given only once
    // everything before it was carried out).
    void sendAll(const QList<QByteArray>& packets) {
        for (const QByteArray& packet : packets)
            send(packet);
        send(message("/airloom/status"));
        ASSERT_EQ(receive().first, "/airloom/status");
    }

    DeckWatcher watcher{decks()};
    std::unique_ptr<OscServer> osc;
    MidiControl midi{{}, app->keys(), watcher};
    std::vector<MidiMessage> lights;
    lo_server client = lo_server_new_with_proto(nullptr, LO_UDP, nullptr);
    std::pair<QString, QString> got;
    QStringList lastArgs;
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
    rig.sendAll({RemoteRig::message("/airloom/deck/2/fire", "f", 0.0)});
    EXPECT_TRUE(rig.decks().IsPlaying(2));
    rig.sendAll({RemoteRig::message("/airloom/deck/2/fire", "i", 1)});
    EXPECT_FALSE(rig.decks().IsPlaying(2));
    rig.sendAll({RemoteRig::message("/airloom/deck/1/empty")});
    EXPECT_EQ(rig.decks().FilePath(1), "");
    // Bad input of every kind changes nothing and is counted.
    rig.sendAll({QByteArray("/airloom/deck/2/fire"), QByteArray(5000, 'x'),
                 RemoteRig::message("/airloom/deck/11/fire"), RemoteRig::message("/airloom/go"),
                 RemoteRig::message("/airloom/deck/2/fire", "s", "x"),
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
    EXPECT_EQ(rig.receive(),
              std::make_pair(QString("/airloom/status"), QString("issssi").repeated(10)));

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

    const std::uint8_t stop[] = {0x90, 46, 1};
    rig.midi.handleBytes(stop, sizeof stop);
    EXPECT_FALSE(rig.decks().IsPlaying(1));
    EXPECT_EQ(rig.receive().first, "/airloom/deck/1/state");
    EXPECT_EQ(rig.lastArgs[2], "loaded");
    EXPECT_EQ(rig.lights.back(), (MidiMessage{0x90, 36, 5}));
    rig.decks().ToggleDeckLock(1);
    EXPECT_EQ(rig.receive().first, "/airloom/deck/1/state");
    EXPECT_EQ(rig.lights.back(), (MidiMessage{0x90, 36, 3}));

    // After the unsubscription the answer to a status request is all that comes back.
    rig.sendAll({RemoteRig::message("/airloom/unsubscribe")});
    rig.decks().ToggleDeckLock(1);
    rig.sendAll({});
}

TEST(RemoteControl, NowPlayingNamesTheCartOnAir) {
    // The encoder's OSC port; sent() is what reached it, if anything, as "path types".
    const lo_server encoder = lo_server_new_with_proto(nullptr, LO_UDP, nullptr);
    QString heard;
    lo_server_add_method(
        encoder, nullptr, nullptr,
        [](const char* path, const char* types, lo_arg**, int, lo_message, void* out) {
            *static_cast<QString*>(out) = QString(path) + ' ' + types;
            return 0;
        },
        &heard);
    const auto sent = [&] {
        heard.clear();
        lo_server_recv_noblock(encoder, 0);
        return heard;
    };
    AppRig rig(
        true, true,
        QString("\n[nowplaying]\nEnabled=1\nOsc=127.0.0.1:%1\n").arg(lo_server_get_port(encoder)));
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
    QJsonObject onAir = read();
    EXPECT_FALSE(onAir.take("started").toString().isEmpty());
    EXPECT_EQ(onAir, QJsonObject({{"deck", 5},
                                  {"cart", "Station ID"},
                                  {"path", rig.carts + "/Station ID.wav"},
                                  {"length_ms", 300},
                                  {"length", "0:00:00"}}));
    EXPECT_EQ(sent(), "/airloom/nowplaying "); // at start-up
    EXPECT_EQ(sent(), "/airloom/nowplaying issis");
    rig.decks().StopCart();
    nowPlaying.flush();
    EXPECT_TRUE(read().isEmpty());
    EXPECT_EQ(sent(), "/airloom/nowplaying ");
    lo_server_free(encoder);
    // The as-run log hears the same play beside it.
    rig.app->extras().asRunLog()->flush();
    EXPECT_EQ(QDir(rig.dir.filePath("log")).entryList(QDir::Files).size(), 1);
    EXPECT_EQ(QDir(rig.dir.path()).entryList({"nowplaying*"}), QStringList{"nowplaying.json"});
}
