#pragma once

#include "audio/audioengine.h"
#include "audio/fixtures.h"
#include "audio/manualdevice.h"
#include "decks/cartselection.h"
#include "decks/deckengine.h"
#include "decks/mcidevice.h"
#include "shell/eventpump.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <QtEndian>
#include <array>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

// The cart list as the engine sees it: a folder and the selected name.
class TestSelection : public CartSelection {
public:
    QString FileName() const override { return fileName; }
    QString Path() const override { return folder; }

    QString folder;
    QString fileName;
};

// Runs one scripted action at the point where Time_Display lets pending events run, as a
// key press or timer tick arriving there would.
class ScriptedPump : public EventPump {
public:
    void processPendingEvents() override {
        ++calls;
        if (action) {
            auto run = std::move(action);
            action = nullptr;
            run();
        }
    }

    std::function<void()> action;
    int calls = 0;
};

// A snapshot of everything the window shows of the decks, to check that an operation
// changed nothing.
struct DeckScreen {
    std::array<DeckEngine::DeckControls, DeckEngine::kDeckCount> rows;
    float meter = 0;

    static DeckScreen of(const DeckEngine& engine) {
        DeckScreen screen;
        for (int deck = 1; deck <= DeckEngine::kDeckCount; ++deck)
            screen.rows[std::size_t(deck - 1)] = engine.Controls(deck);
        screen.meter = engine.TimeMeterValue();
        return screen;
    }
    bool operator==(const DeckScreen& other) const {
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const auto& a = rows[i];
            const auto& b = other.rows[i];
            if (a.deckCaption != b.deckCaption || a.deckColour != b.deckColour ||
                a.timeCaption != b.timeCaption || a.modeCaption != b.modeCaption ||
                a.modeColour != b.modeColour || a.lockColour != b.lockColour)
                return false;
        }
        return meter == other.meter;
    }
};

// The engine on the manual audio device: time moves only when the test renders frames,
// and the window's timer and the player's notifications are called by hand.
class DeckRig : public ::testing::Test {
public:
    static constexpr int kRate = 48000;
    static constexpr int kPeriod = 256;
    static constexpr int kTickFrames = kRate / 100; // what the output plays in one 10 ms tick

    DeckRig()
        : m_device(new ManualDevice(kRate, kPeriod)),
          m_audio(std::unique_ptr<OutputDevice>(m_device)), player(m_audio), preview(m_audio),
          engine(player, preview, selection, pump) {
        selection.folder = m_dir.path();
        startUp(engine);
    }

    // What the main window's load does to the decks: every mode from the settings (all
    // Normal here), then blank deck labels.
    static void startUp(DeckEngine& engine) {
        for (int deck = 1; deck <= DeckEngine::kDeckCount; ++deck)
            engine.SetDeckMode(deck, QStringLiteral("Norm"));
        engine.ClearDeckLabels();
    }

    // A stereo 16-bit cart that holds one constant sample value, so the capture tells
    // which cart was heard. frames at 48 kHz.
    QString levelCart(const QString& name, int frames, qint16 level) {
        QByteArray data(frames * 4, Qt::Uninitialized);
        for (int i = 0; i < frames * 2; ++i)
            qToLittleEndian<qint16>(level, data.data() + i * 2);
        QByteArray wav;
        const auto u32 = [&wav](quint32 v) {
            char b[4];
            qToLittleEndian(v, b);
            wav.append(b, 4);
        };
        const auto u16 = [&wav](quint16 v) {
            char b[2];
            qToLittleEndian(v, b);
            wav.append(b, 2);
        };
        wav.append("RIFF");
        u32(quint32(36 + data.size()));
        wav.append("WAVEfmt ");
        u32(16);
        u16(1); // PCM
        u16(2);
        u32(kRate);
        u32(kRate * 4);
        u16(4);
        u16(16);
        wav.append("data");
        u32(quint32(data.size()));
        wav.append(data);
        return Fixtures::file(m_dir.path(), name, wav);
    }
    QString cart(const QString& name, int ms, qint16 level = 8192) {
        return levelCart(name, ms * kRate / 1000, level);
    }

    // Selects name in the cart list and loads it into deck (Ctrl+F-key).
    void load(int deck, const QString& name) {
        selection.fileName = name;
        engine.LoadCart(deck);
    }

    // One Timer1 tick: the output plays 10 ms, then the end-of-cart check runs.
    void tick(int count = 1) {
        for (int i = 0; i < count; ++i) {
            m_device->render(kTickFrames);
            engine.Timer1_Timer();
        }
    }
    // Ticks until the player has stopped playing; returns how many ticks that took.
    int tickUntilStopped(int limit = 10000) {
        int ticks = 0;
        while (player.Mode() == MciDevice::kModePlaying && ticks < limit) {
            tick();
            ++ticks;
        }
        return ticks;
    }
    void statusUpdate() { engine.MMControl1_StatusUpdate(); }

    // The left channel of every captured frame, as a 16-bit value.
    std::vector<int> heardLevels() const {
        std::vector<int> levels;
        const auto& samples = m_device->captured();
        levels.reserve(samples.size() / 2);
        for (std::size_t i = 0; i < samples.size(); i += 2)
            levels.push_back(int(std::lround(samples[i] * 32768.0f)));
        return levels;
    }
    // The levels heard in order, each run of equal frames once, with its length.
    std::vector<std::pair<int, int>> heardRuns() const {
        std::vector<std::pair<int, int>> runs;
        for (const int level : heardLevels()) {
            if (runs.empty() || runs.back().first != level)
                runs.emplace_back(level, 0);
            ++runs.back().second;
        }
        return runs;
    }
    void clearCapture() { m_device->clearCapture(); }
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString folder() const { return m_dir.path(); }
    ManualDevice& device() { return *m_device; }

private:
    QTemporaryDir m_dir;
    ManualDevice* m_device; // owned by m_audio

protected:
    AudioEngine m_audio;

public:
    TestSelection selection;
    ScriptedPump pump;
    MciDevice player;  // MMControl1
    MciDevice preview; // MMPreview
    DeckEngine engine;
};
