#pragma once

#include "config/extrasettings.h"

#include <QObject>
#include <memory>

class AsRunLog;
class AudioEngine;
class DeckEngine;
class EndWarning;
class Form1;
class Leveller;
class MciDevice;
class ProfileFile;
class QTimer;

// The station's options beyond the classic behaviour, as Vidav.ini switches them at
// start-up: the as-run log (the application shows its failures on the status line), the end-of-cart
// warning (run after each end-of-cart check of Timer1, shown on the time labels) and
// loudness levelling (handed to the media engine). What is switched off is not created, and
// the program then behaves exactly as without them.
//
// UI thread only. Destroyed before the objects it was given: the log then records the cart
// that still plays.
class AppExtras : public QObject {
    Q_OBJECT
public:
    AppExtras(const ProfileFile& profile, AudioEngine& audio, DeckEngine& decks,
              const MciDevice& player, Form1& form, QTimer& timer1, QObject* parent = nullptr);
    ~AppExtras() override;

    const ExtraSettings& settings() const { return m_settings; }
    // Null when switched off.
    AsRunLog* asRunLog() const { return m_log.get(); }
    EndWarning* endWarning() const { return m_warning.get(); }
    Leveller* leveller() const { return m_leveller.get(); }

private:
    const ExtraSettings m_settings;
    AudioEngine& m_audio;
    DeckEngine& m_decks;
    std::unique_ptr<Leveller> m_leveller;
    std::unique_ptr<AsRunLog> m_log;
    std::unique_ptr<EndWarning> m_warning;
};
