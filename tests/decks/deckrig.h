#pragma once

#include "audio/audioengine.h"
#include "audio/fixtures.h"
#include "audio/manualdevice.h"
#include "common/cartselection.h"
#include "common/eventpump.h"
#include "decks/deckengine.h"
#include "decks/mcidevice.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QtEndian>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

// The cart list as the engine sees it: a folder and the selected name.
struct TestSelection : CartSelection {
    QString FileName() const override { return fileName; }
    QString Path() const override { return folder; }
    QString folder, fileName;
};

// Runs one scripted action where Time_Display lets pending events run, as a key press or
// timer tick arriving there would.
struct ScriptedPump : EventPump {
    void processPendingEvents() override {
        ++calls;
        if (auto run = std::exchange(action, nullptr))
            run();
    }
    std::function<void()> action;
    int calls = 0;
};

// The engine on the manual audio device after the window's load (all decks Normal): time
// moves only as the test renders; Timer1 and the player's notifications are called by hand.
// With AIRLOOM_TIMER1_RESTS set, Timer1 rests as the program's does while the check is idle.
class DeckRig : public ::testing::Test {
public:
    static constexpr int kRate = 48000, kTick = kRate / 100; // frames of one 10 ms tick

    DeckRig()
        : m_device(new ManualDevice(kRate, 256)), m_audio(std::unique_ptr<OutputDevice>(m_device)),
          player(m_audio), preview(m_audio), engine(player, preview, selection, pump) {
        QObject::connect(&engine, &DeckEngine::endCheckWanted, [this] { m_timer1Resting = false; });
        selection.folder = m_dir.path();
        // A measurement runs at once, unless held ("hold") until "measured".
        m_audio.setMeasureRunner([this](std::function<void()> job) {
            if (holdMeasurements)
                held.push_back(std::move(job));
            else
                job();
        });
        for (int deck = 1; deck <= kDeckCount; ++deck)
            engine.SetDeckMode(deck, "Norm");
        engine.ClearDeckLabels();
    }

    // A 48 kHz stereo 16-bit cart that holds one sample value, so the capture tells which
    // cart was heard.
    void cart(const QString& name, double ms, qint16 level = 8192) {
        const int frames = int(ms * kRate / 1000);
        QByteArray wav = QByteArray::fromHex("524946460000000057415645666d74201000000001000200"
                                             "80bb000000ee0200040010006461746100000000");
        qToLittleEndian<quint32>(36 + frames * 4, wav.data() + 4);
        qToLittleEndian<quint32>(frames * 4, wav.data() + 40);
        const char sample[] = {char(level & 0xff), char(level >> 8)};
        Fixtures::file(m_dir.path(), name, wav + QByteArray(sample, 2).repeated(frames * 2));
    }
    // Selects name in the cart list and loads it into deck (Ctrl+F-key).
    void load(int deck, const QString& name) {
        selection.fileName = name;
        engine.LoadCart(deck);
        m_audio.waitForMeasurements();
    }
    void put(int deck, const QString& name, double ms, qint16 level = 8192) {
        cart(name, ms, level);
        load(deck, name);
    }

    // One Timer1 tick: the output plays 10 ms, then the end-of-cart check (and afterTimer1).
    void tick(int count = 1) {
        static const bool rests = qEnvironmentVariableIsSet("AIRLOOM_TIMER1_RESTS");
        for (int i = 0; i < count; ++i) {
            m_device->render(kTick);
            if (m_timer1Resting)
                continue;
            engine.Timer1_Timer();
            if (afterTimer1)
                afterTimer1();
            m_timer1Resting = rests && engine.EndCheckIdle();
        }
    }
    std::function<void()> afterTimer1;
    // Ticks until the player (or deck, if given) has stopped playing; returns the count.
    int tickUntilStopped(int deck = 0) {
        int ticks = 0;
        for (; (deck ? engine.IsPlaying(deck) : playing()) && ticks < 10000; ++ticks)
            tick();
        return ticks;
    }
    bool playing() const { return player.Mode() == MciDevice::kModePlaying; }
    // The event loop between two key presses: the file watcher's notices, the background
    // checks and decodes, their reports and the measurements these start.
    void settle() {
        QCoreApplication::processEvents();
        m_audio.waitForBackgroundWork();
        QCoreApplication::sendPostedEvents();
        m_audio.waitForMeasurements();
    }

    // Runs events ("fire 3, tick 99, status") and returns the snapshot after them.
    std::string step(const QString& events) {
        const std::map<QString, void (DeckEngine::*)(int)> onDeck = {
            {"fire", &DeckEngine::FireDeck},
            {"clear", &DeckEngine::ClearDeck},
            {"cycle", &DeckEngine::CyclePlayMode},
            {"lock", &DeckEngine::ToggleDeckLock}};
        for (const QString& event : events.split(", ", Qt::SkipEmptyParts)) {
            const QStringList w = event.split(' ');
            const int n = w.value(1, "1").toInt();
            if (onDeck.count(w[0]))
                (engine.*onDeck.at(w[0]))(n);
            else if (w[0] == "stop")
                engine.StopCart();
            else if (w[0] == "tick")
                tick(n);
            else if (w[0] == "status") { // "status during stop": events run inside Time_Display
                if (w.value(1) == "during")
                    pump.action = [this, inside = w.mid(2).join(' ')] {
                        step(inside);
                    };
                engine.MMControl1_StatusUpdate();
            } else if (w[0] == "mode")
                engine.SetDeckMode(n, w.value(2));
            else if (w[0] == "load") // Ctrl+F-key with a file selected ("load 4" with none)
                load(n, w.mid(2).join(' '));
            else if (w[0] == "drop") { // a drop from the cart list
                engine.DropOnDeck(n, DragProxy::ListFile);
                m_audio.waitForMeasurements();
            } else if (w[0] == "hold")
                holdMeasurements = true;
            else if (w[0] == "measured") { // the held measurements end and are reported
                holdMeasurements = false;
                for (auto& job : std::exchange(held, {}))
                    job();
                m_audio.waitForMeasurements();
            } else if (w[0] == "drag") { // a press on one deck label, released on another
                engine.BeginDeckDrag(n);
                engine.DropOnDeck(w.value(2).toInt(), DragProxy::DeckCart);
            } else
                ADD_FAILURE() << "unknown event " << event.toStdString();
        }
        return snapshot();
    }

    static QString colour(DeckEngine::Colour c) {
        const std::map<DeckEngine::Colour, QString> names = {
            {DeckEngine::kBlack, "black"},       {DeckEngine::kYellow, "yellow"},
            {DeckEngine::kBrightGreen, "green"}, {DeckEngine::kGrey, "grey"},
            {DeckEngine::kCyan, "cyan"},         {DeckEngine::kRed, "red"}};
        return names.count(c) ? names.at(c) : QString::number(c, 16);
    }
    // Every deck not blank: caption ("-" for none), colour, time text; [file] unless the
    // caption's .wav here; the mode word unless "Norm" (word/caption/colour if these disagree);
    // the lock colour unless yellow; <file> of a load waiting for its length. Then the current
    // deck, the player, the latches (P, D), the operator's stop (F11) and the meter unless 0:
    // "3 Story green 0:00:01, 7 - black 0:00:00 Loop | deck 3 playing P D meter 26".
    std::string snapshot() const {
        QStringList decks;
        for (int d = 1; d <= kDeckCount; ++d) {
            const auto& c = engine.Controls(d);
            const QString caption = c.deckCaption.isEmpty() ? "-" : c.deckCaption;
            QString row =
                QString("%1 %2 %3 %4").arg(d).arg(caption, colour(c.deckColour), c.timeCaption);
            QString file = engine.FilePath(d);
            if (!file.isEmpty() && file != m_dir.filePath(c.deckCaption + ".wav"))
                row += " [" + file.replace(m_dir.path() + '/', "") + "]";
            const QString word = engine.ModeWord(d);
            const char* wordColour = word == "Seqnc" ? "cyan" : word == "Loop" ? "red" : "yellow";
            if (c.modeCaption != word || colour(c.modeColour) != wordColour)
                row += QString(" mode %1/%2/%3").arg(word, c.modeCaption, colour(c.modeColour));
            else if (word != "Norm")
                row += " " + word;
            if (c.lockColour != DeckEngine::kYellow)
                row += " lock " + colour(c.lockColour);
            if (!engine.PendingPath(d).isEmpty())
                row += " <" + engine.PendingPath(d).section('/', -1) + ">";
            if (row != QString("%1 - black 0:00:00").arg(d))
                decks << row;
        }
        const int mode = player.Mode();
        QString s = decks.join(", ") + QString(" | deck %1 ").arg(engine.CurrentDeck());
        s += playing() ? "playing" : mode == MciDevice::kModeStopped ? "stopped" : "closed";
        s += QString(engine.PlayLatch() ? " P" : "") + (engine.DisplayLatch() ? " D" : "") +
             (engine.StoppedByOperator() ? " F11" : "");
        if (engine.TimeMeterValue() != 0)
            s += " meter " + QString::number(engine.TimeMeterValue());
        return s.toStdString();
    }

    // The levels heard (left channel, 16-bit) in order, each run of equal frames once.
    using Runs = std::vector<std::pair<int, int>>;
    Runs heardRuns() const { return runsOf(m_device->captured()); }
    static Runs runsOf(const std::vector<float>& samples) {
        Runs runs;
        for (std::size_t i = 0; i < samples.size(); i += 2) {
            const int level = int(std::lround(samples[i] * 32768.0f));
            if (runs.empty() || runs.back().first != level)
                runs.emplace_back(level, 0);
            ++runs.back().second;
        }
        return runs;
    }
    void clearCapture() { m_device->clearCapture(); }
    const std::vector<float>& captured() const { return m_device->captured(); }
    AudioEngine& audio() { return m_audio; }
    QString folder() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    ManualDevice* m_device; // owned by m_audio
    AudioEngine m_audio;
    bool m_timer1Resting = false;

public:
    TestSelection selection;
    ScriptedPump pump;
    bool holdMeasurements = false;
    std::vector<std::function<void()>> held;
    MciDevice player;  // MMControl1
    MciDevice preview; // MMPreview
    DeckEngine engine;
};
