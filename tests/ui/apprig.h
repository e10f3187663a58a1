#pragma once

#include "audio/fixtures.h"
#include "audio/manualdevice.h"
#include "support/scriptedmessageboxes.h"
#include "ui/app.h"
#include "ui/form1.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>

// Scripted message boxes that can also look at the program while a box is up.
struct RigMessageBoxes : ScriptedMessageBoxes {
    std::function<void()> whileShown;

    int MsgBox(const QString& text, int style, const QString& caption) override {
        if (whileShown)
            whileShown();
        return ScriptedMessageBoxes::MsgBox(text, style, caption);
    }
};

// The whole program over a temporary Vidav.ini, the manual audio device and scripted
// message boxes. Category 1 holds News.wav, Station ID.wav and Sunday.wav; category 2's
// folder does not exist. With writeSettings false there is no Vidav.ini at all.
struct AppRig {
    static constexpr int kCartMs = 300;

    QTemporaryDir dir;
    QString carts = dir.filePath("carts");
    QString iniPath = dir.filePath("Vidav.ini");
    ManualDevice* device = nullptr; // owned by the app's media engine
    RigMessageBoxes boxes;
    std::unique_ptr<AirloomApp> app;

    explicit AppRig(bool writeSettings = true) {
        QDir().mkpath(carts);
        for (const char* name : {"News.wav", "Station ID.wav", "Sunday.wav"})
            Fixtures::wav(carts, name, kCartMs);
        if (writeSettings)
            writeIni(QString("[global]\ncallsign=KAIR\n[cat 1]\nName=Jingles\nPath=%1\n"
                             "[cat 2]\nName=Spots\nPath=%2\n")
                         .arg(carts, dir.filePath("gone")));
        auto output = std::make_unique<ManualDevice>();
        device = output.get();
        app = std::make_unique<AirloomApp>(iniPath, std::move(output), boxes);
    }

    void writeIni(const QString& text) const {
        QFile file(iniPath);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(text.toUtf8());
    }

    Form1& form() const { return app->form1(); }
    DeckEngine& decks() const { return app->decks(); }

    // The message boxes shown so far, as "caption|text|style".
    QStringList shownBoxes() const {
        QStringList all;
        for (const ScriptedMessageBoxes::Shown& box : boxes.shown)
            all << QString("%1|%2|%3").arg(box.caption, box.text).arg(box.style);
        return all;
    }

    // Start-up as the operator sees it: the title window paints, its timer ticks four times.
    void openMainWindow() {
        app->start();
        app->Title_Form_Paint();
        for (int tick = 0; tick < 4; ++tick)
            app->Title_Timer2_Timer();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        form().activateWindow();
        (void)QTest::qWaitForWindowActive(&form());
    }

    // Selects a file of the list and loads it into deck, as Ctrl+F-key does.
    void load(int deck, const QString& name) const {
        app->cartList().setListIndex(int(app->cartList().names().indexOf(name)));
        decks().LoadCart(deck);
    }

    // Renders the output until the player has played out, running the end-of-cart timer
    // as it goes.
    void playToEnd() const {
        for (int period = 0; period < 1000 && app->MMControl1().Mode() == MciDevice::kModePlaying;
             ++period) {
            device->renderPeriods(4);
            decks().Timer1_Timer();
        }
        decks().Timer1_Timer();
    }
};
