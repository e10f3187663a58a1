#include "app/appextras.h"

#include "audio/audioengine.h"
#include "audio/leveller.h"
#include "decks/asrunlog.h"
#include "decks/deckengine.h"
#include "decks/endwarning.h"
#include "ui/form1.h"

#include <QLabel>
#include <QTimer>

AppExtras::AppExtras(const ProfileFile& profile, AudioEngine& audio, DeckEngine& decks,
                     const MciDevice& player, Form1& form, QTimer& timer1, QObject* parent)
    : QObject(parent), m_settings(ExtraSettings::Read(profile)), m_audio(audio), m_decks(decks) {
    if (m_settings.loudnessTarget) {
        m_leveller =
            std::make_unique<Leveller>(*m_settings.loudnessTarget, m_settings.loudnessCacheFile);
        m_audio.setLeveller(m_leveller.get());
    }
    if (m_settings.logEnabled) {
        m_log = std::make_unique<AsRunLog>(decks, player, m_settings.logFolder);
        m_decks.setPlayObserver(m_log.get());
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
    if (m_log)
        m_decks.setPlayObserver(nullptr);
    m_log.reset(); // logs the cart that plays
    if (m_leveller)
        m_audio.setLeveller(nullptr);
}
