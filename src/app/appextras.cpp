#include "app/appextras.h"

#include "audio/audioengine.h"
#include "audio/leveller.h"
#include "decks/asrunlog.h"
#include "decks/deckengine.h"
#include "decks/endwarning.h"
#include "remote/deckstatus.h"
#include "remote/midicontrol.h"
#include "remote/nowplaying.h"
#include "remote/oscserver.h"
#include "ui/form1.h"

#include <QLabel>
#include <QTimer>
#include <cstdio>

AppExtras::AppExtras(const ProfileFile& profile, AudioEngine& audio, DeckEngine& decks,
                     const MciDevice& player, Form1& form, QTimer& timer1, FunctionKeys& keys,
                     QObject* parent)
    : QObject(parent), m_settings(ExtraSettings::Read(profile)), m_audio(audio), m_decks(decks) {
    if (m_settings.loudnessTarget) {
        m_leveller =
            std::make_unique<Leveller>(*m_settings.loudnessTarget, m_settings.loudnessCacheFile);
        m_audio.setLeveller(m_leveller.get());
    }
    if (m_settings.logEnabled) {
        m_log = std::make_unique<AsRunLog>(decks, player, m_settings.logFolder);
        m_observers.add(m_log.get());
    }
    if (m_settings.nowPlayingEnabled) {
        m_nowPlaying = std::make_unique<NowPlaying>(decks, player, m_settings.nowPlayingFile,
                                                    m_settings.nowPlayingOscHost,
                                                    m_settings.nowPlayingOscPort);
        m_observers.add(m_nowPlaying.get());
    }
    if (!m_observers.empty())
        m_decks.setPlayObserver(&m_observers);
    if (m_settings.oscPort != 0 || m_settings.midiEnabled)
        m_watcher = std::make_unique<DeckWatcher>(decks);
    if (m_settings.oscPort != 0) {
        OscServer::Options options;
        options.listen = m_settings.oscListen;
        options.port = m_settings.oscPort;
        options.allow = m_settings.oscAllow;
        options.settingsPath = m_settings.settingsPath;
        m_osc = std::make_unique<OscServer>(options, keys, decks, *m_watcher);
    }
    if (m_settings.midiEnabled) {
        QStringList complaints;
        MidiControl::Options options{m_settings.midiJack, m_settings.midiConnect,
                                     MidiMap::FromLines(m_settings.midiLines, &complaints)};
        for (const QString& complaint : complaints)
            std::fprintf(stderr, "Vidav.ini %s\n", qUtf8Printable(complaint));
        m_midi = std::make_unique<MidiControl>(std::move(options), keys, *m_watcher);
    }
    if (m_settings.endWarningSeconds > 0) {
        m_warning = std::make_unique<EndWarning>(decks, player, m_settings.endWarningSeconds);
        connect(&timer1, &QTimer::timeout, m_warning.get(), &EndWarning::update);
        connect(m_warning.get(), &EndWarning::timeLabelLit, &form, [&form](int deck, bool lit) {
            QLabel* label = form.TimeLabel(deck);
            if (!lit) {
                // Back to the colours the label inherits.
                label->setPalette(QPalette());
                label->setAutoFillBackground(false);
                return;
            }
            QPalette colours = label->palette();
            colours.setColor(QPalette::Window, QColor::fromRgb(EndWarning::kWarningBackground));
            colours.setColor(QPalette::WindowText, QColor::fromRgb(EndWarning::kWarningText));
            label->setPalette(colours);
            label->setAutoFillBackground(true);
        });
    }
}

AppExtras::~AppExtras() {
    // The remote controls go first: nothing may act on the decks while the rest closes.
    m_midi.reset();
    m_osc.reset();
    if (!m_observers.empty())
        m_decks.setPlayObserver(nullptr);
    m_log.reset(); // logs the cart that plays
    m_nowPlaying.reset();
    if (m_leveller)
        m_audio.setLeveller(nullptr);
}
