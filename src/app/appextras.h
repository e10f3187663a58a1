#pragma once

#include "config/extrasettings.h"
#include "decks/playobserver.h"

#include <QObject>
#include <memory>

class AsRunLog;
class AudioEngine;
class DeckEngine;
class EndWarning;
class DeckWatcher;
class Form1;
class FunctionKeys;
class Leveller;
class MciDevice;
class MidiControl;
class NowPlaying;
class OscServer;
class ProfileFile;
class QTimer;

// The station's options beyond the classic behaviour, as Vidav.ini switches them at
// start-up: the as-run log (the application shows its failures on the status line), the end-of-cart
// warning (run after each end-of-cart check of Timer1, shown on the time labels) and
// loudness levelling (handed to the media engine), and the studio's remote controls: the
// now-playing file, the OSC server and the MIDI ports (their actions go through the key map).
// What is switched off is not created, and the program then behaves exactly as without them.
//
// UI thread only. Destroyed before the objects it was given: the log then records the cart
// that still plays.
class AppExtras : public QObject {
    Q_OBJECT
public:
    AppExtras(const ProfileFile& profile, AudioEngine& audio, DeckEngine& decks,
              const MciDevice& player, Form1& form, QTimer& timer1, FunctionKeys& keys,
              QObject* parent = nullptr);
    ~AppExtras() override;

    const ExtraSettings& settings() const { return m_settings; }
    // Null when switched off.
    AsRunLog* asRunLog() const { return m_log.get(); }
    EndWarning* endWarning() const { return m_warning.get(); }
    Leveller* leveller() const { return m_leveller.get(); }
    NowPlaying* nowPlaying() const { return m_nowPlaying.get(); }
    OscServer* oscServer() const { return m_osc.get(); }
    MidiControl* midi() const { return m_midi.get(); }

private:
    const ExtraSettings m_settings;
    AudioEngine& m_audio;
    DeckEngine& m_decks;
    std::unique_ptr<Leveller> m_leveller;
    std::unique_ptr<AsRunLog> m_log;
    std::unique_ptr<EndWarning> m_warning;
    std::unique_ptr<NowPlaying> m_nowPlaying;
    PlayObservers m_observers; // the log and the now-playing file
    std::unique_ptr<DeckWatcher> m_watcher;
    std::unique_ptr<OscServer> m_osc;
    std::unique_ptr<MidiControl> m_midi;
};
