#pragma once

#include "app/app.h"
#include "app/appform2.h"
#include "audio/fixtures.h"
#include "audio/manualdevice.h"
#include "support/scriptedmessageboxes.h"
#include "ui/form1.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

// The whole program over a temporary Vidav.ini, the manual audio device and scripted
// message boxes. Category 1 holds News.wav, Station ID.wav and Sunday.wav, measured before
// the start, so that they load at once; category 2's folder does not exist.
struct AppRig {
    // A folder under the temporary one holding the named carts; returns its path.
    QString folder(const QString& name, const QStringList& carts) const {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(QDir().mkpath(path)) << path.toStdString();
        for (const QString& cart : carts)
            EXPECT_FALSE(Fixtures::wav(path, cart, 300).isEmpty()) << cart.toStdString();
        return path;
    }

    QTemporaryDir dir;
    QString carts = dir.filePath("carts");
    QString iniPath = dir.filePath("Vidav.ini");
    QString settings = QString("[global]\ncallsign=kair\n[cat 1]\nName=Jingles\nPath=%1\n"
                               "[cat 2]\nName=Spots\nPath=%2\n")
                           .arg(carts, dir.filePath("gone"));
    ManualDevice* device = nullptr; // owned by the app's media engine
    ScriptedMessageBoxes boxes;
    std::unique_ptr<AirloomApp> app;

    // open: start up as the operator sees it, the end-of-cart timer stopped so that only the
    // test moves the engine; activate: the window manager activates the main window; options:
    // [global] lines after the call letters, and sections; output: made around the device.
    using Output = std::function<std::unique_ptr<OutputDevice>(std::unique_ptr<ManualDevice>)>;
    explicit AppRig(bool open = true, bool activate = true, const QString& options = {},
                    const Output& output = {}) {
        settings.insert(settings.indexOf("[cat 1]"), options);
        folder("carts", {"News.wav", "Station ID.wav", "Sunday.wav"});
        writeIni(settings);
        auto manual = std::make_unique<ManualDevice>();
        device = manual.get();
        app = std::make_unique<AirloomApp>(
            iniPath, output ? output(std::move(manual)) : std::move(manual), boxes);
        for (const char* name : {"News.wav", "Station ID.wav", "Sunday.wav"})
            app->audio().openCart(carts + '/' + name);
        app->audio().waitForMeasurements();
        if (open) {
            openMainWindow(activate);
            app->Timer1().stop();
            // For good: a "Play" does not start it again.
            QObject::disconnect(&app->decks(), &DeckEngine::endCheckWanted, app.get(), nullptr);
        }
    }

    void writeIni(const QString& text) const {
        Fixtures::file(dir.path(), "Vidav.ini", text.toUtf8());
    }

    Form1& form() const { return app->form1(); }
    DeckEngine& decks() const { return app->decks(); }

    // The title window paints and ticks four times; the main window comes up.
    void openMainWindow(bool activate = true) {
        app->start();
        app->Title_Form_Paint();
        for (int tick = 0; tick < 4; ++tick)
            app->Title_Timer2_Timer();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (!activate)
            return;
        form().raise();
        form().activateWindow();
        (void)QTest::qWaitForWindowActive(&form());
    }

    // Selects a file of the list, as a click does; loads it into deck, as Ctrl+F-key does.
    void select(const QString& name) const {
        app->cartList().setListIndex(int(app->cartList().names().indexOf(name)));
    }
    void load(int deck, const QString& name) const {
        select(name);
        decks().LoadCart(deck);
        app->audio().waitForMeasurements();
    }

    // Renders the output, running the end-of-cart timer, until the player has played out.
    void playToEnd() const {
        for (int period = 0; period < 1000 && app->MMControl1().Mode() == MciDevice::kModePlaying;
             ++period) {
            device->renderPeriods(4);
            decks().Timer1_Timer();
        }
        decks().Timer1_Timer();
    }
};

// The running program with its configuration window opened by a click on the wrench; its
// drive box lists "/", the temporary folder and a volume that cannot be read.
struct Form2Rig : AppRig {
    explicit Form2Rig(const QString& options = {}) : AppRig(true, true, options) {
        windows().setVolumeSource([this] { return volumes; });
        QTest::mouseClick(form().SSCommand1(), Qt::LeftButton);
        QApplication::setActiveWindow(&form2());
        (void)QTest::qWaitForWindowActive(&form2());
    }
    ConfigWindows& windows() const { return app->configWindows(); }
    Form2& form2() const { return *windows().form2(); }
    ConfigWindow& config() const { return *windows().config(); }

    QList<Volume> volumes{{"/", "/"}, {dir.path(), "carts"}, {"/no/such/volume", "empty drive"}};
};

// A key press on the focus widget of a window, active or not, as the keyboard delivers it.
inline void press(QWidget* focus, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    focus->setFocus();
    ASSERT_EQ(focus->window()->focusWidget(), focus);
    QTest::keyClick(focus, key, modifiers);
}

// A press of F3 on each widget fires deck 3 (loaded) once: a second forward of the same
// press would stop it again.
inline void expectF3FiresDeck3OncePerPress(const AppRig& rig, const QList<QWidget*>& widgets) {
    for (QWidget* widget : widgets) {
        SCOPED_TRACE(widget->objectName().toStdString());
        press(widget, Qt::Key_F3);
        EXPECT_TRUE(rig.decks().IsPlaying(3));
        press(widget, Qt::Key_F3);
        EXPECT_FALSE(rig.decks().IsPlaying(3));
        EXPECT_EQ(rig.decks().CurrentDeck(), 3);
    }
}

// The real pointer of the X server, for the Xvfb tests. A drag runs its own event loop that
// reads X events, which synthetic Qt events cannot drive: xdotool moves and presses the
// pointer through the XTEST extension while the test spins the event loop.
inline QPoint centreOf(const QWidget* widget) {
    return widget->mapToGlobal(widget->rect().center());
}
inline QString xy(QPoint p) {
    return QString("%1 %2").arg(p.x()).arg(p.y());
}

inline bool xdotool(const QString& script) {
    QProcess process;
    process.start("xdotool", script.split(' '));
    return process.waitForStarted() &&
           QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 20000) &&
           process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// Presses the left button at from, moves in steps to to and releases there. The pauses pace
// the pointer for the X server and the drag loop; the caller waits for the outcome as a
// condition, not as a time.
inline bool pointerDrag(QPoint from, QPoint to) {
    QString script = "mousemove " + xy(from) + " sleep 0.05 mousedown 1 sleep 0.1";
    for (int i = 1; i <= 9; ++i)
        script += " mousemove " + xy(i < 9 ? from + (to - from) * i / 8 : to + QPoint(1, 1)) +
                  " sleep 0.05";
    return xdotool(script + " mouseup 1 sleep 0.1");
}
