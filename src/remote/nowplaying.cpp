#include "remote/nowplaying.h"

#include "decks/asrunlog.h"
#include "decks/deckengine.h"
#include "decks/mcidevice.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <cstdio>
#include <lo/lo.h>
#include <pthread.h>
#include <utility>

namespace {
NowPlaying::State nothingOnAir() {
    NowPlaying::State state;
    state.json = "{}\n";
    return state;
}
} // namespace

NowPlaying::NowPlaying(const DeckEngine& decks, const MciDevice& player, QString filePath,
                       QString oscHost, int oscPort, Clock clock)
    : m_decks(decks), m_player(player), m_filePath(std::move(filePath)),
      m_oscHost(std::move(oscHost)), m_oscPort(oscPort), m_clock(std::move(clock)),
      m_thread([this] { run(); }) {
    // A file left by a run that ended without its exit must not claim a cart is on air.
    publish(nothingOnAir());
}

NowPlaying::~NowPlaying() {
    publish(nothingOnAir());
    {
        const std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void NowPlaying::playStarted(int deck) {
    // A cart that could not be opened is never heard.
    if (m_player.Mode() != MciDevice::kModePlaying)
        return;
    State state;
    state.deck = deck;
    state.cart = m_decks.Controls(deck).deckCaption;
    state.path = m_decks.FilePath(deck);
    state.lengthMs = m_player.Length();
    state.started = AsRunLog::isoTime(m_clock());
    const QJsonObject object{{QStringLiteral("deck"), deck},
                             {QStringLiteral("cart"), state.cart},
                             {QStringLiteral("path"), state.path},
                             {QStringLiteral("length_ms"), qint64(state.lengthMs)},
                             {QStringLiteral("length"), FormatDeckTime(state.lengthMs)},
                             {QStringLiteral("started"), state.started}};
    state.json = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    m_onAir = true;
    publish(std::move(state));
}

void NowPlaying::playEnding(Ending) {
    if (!std::exchange(m_onAir, false))
        return;
    publish(nothingOnAir());
}

void NowPlaying::flush() {
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [this] { return m_written == m_published; });
}

void NowPlaying::publish(State state) {
    {
        const std::lock_guard lock(m_mutex);
        m_next = std::move(state);
        ++m_published;
    }
    m_wake.notify_one();
}

void NowPlaying::run() {
    pthread_setname_np(pthread_self(), "airloom-nowplay");
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_quit || m_next; });
        if (!m_next)
            break; // quit with everything written
        const State state = *std::exchange(m_next, std::nullopt);
        const std::uint64_t taken = m_published;
        lock.unlock();
        write(state);
        lock.lock();
        m_written = taken;
        m_done.notify_all();
    }
}

void NowPlaying::write(const State& state) {
    QSaveFile file(m_filePath);
    const bool ok = file.open(QIODevice::WriteOnly) &&
                    file.write(state.json) == state.json.size() && file.commit();
    if (!ok && !m_failing)
        std::fprintf(stderr, "Now playing: cannot write %s: %s\n", qUtf8Printable(m_filePath),
                     qUtf8Printable(file.errorString()));
    m_failing = !ok;

    if (m_oscPort == 0)
        return;
    const lo_address target =
        lo_address_new(m_oscHost.toUtf8().constData(), QByteArray::number(m_oscPort).constData());
    if (target == nullptr)
        return;
    const lo_message message = lo_message_new();
    if (state.deck != 0) {
        lo_message_add_int32(message, state.deck);
        lo_message_add_string(message, state.cart.toUtf8().constData());
        lo_message_add_string(message, state.path.toUtf8().constData());
        lo_message_add_int32(message, int(state.lengthMs));
        lo_message_add_string(message, state.started.toUtf8().constData());
    }
    lo_send_message(target, "/airloom/nowplaying", message);
    lo_message_free(message);
    lo_address_free(target);
}
