#pragma once

#include "app/appinfo.h"
#include "app/statusline.h"
#include "audio/audioengine.h"
#include "config/profilefile.h"
#include "config/settings.h"
#include "decks/deckengine.h"
#include "decks/mcidevice.h"
#include "library/cartlibrary.h"
#include "library/cartlist.h"
#include "library/categorytabs.h"
#include "shell/buttonrow.h"
#include "shell/functionkeys.h"
#include "ui/qteventpump.h"
#include "ui/title.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <memory>

class ConfigWindows;
class AppExtras;
class Form1;
class Form1Binding;
class MessageBoxes;
class OutputDevice;
class PreListen;
class PreListenBinding;
class SupervisedOutput;

// The running program: the media engine and its two media controls, the deck engine, the
// cart library, the settings, the key map, the button row, the title and main windows and
// their timers, the About and Help windows, created once and handed to each other. Owns the
// start-up (the title window's ticks, the main window's load) and the exit.
//
// UI thread only. main() builds one over the real settings file and output device; tests
// build theirs over a temporary Vidav.ini, the manual device and scripted message boxes.
class AirloomApp : public QObject {
    Q_OBJECT
public:
    // The main window opens on the tick after this many ticks of the title window.
    static constexpr int kTitleTicksBeforeMain = 3;
    static constexpr int kTimer2Interval = 1000;
    static constexpr int kTimer1Interval = 10;

    AirloomApp(const QString& settingsPath, std::unique_ptr<OutputDevice> output,
               MessageBoxes& boxes, QObject* parent = nullptr);
    ~AirloomApp() override;

    // Shows the title window; the main window follows on its timer's fourth tick. Removes
    // the temporaries that killed settings writes left behind, and says so on stderr.
    void start();
    // The output will not be heard in this run (no sound device): said in red on the status
    // line for good, as a loss is.
    void setOutputWarning(const QString& warning);
    // Watches the sound device (the media engine's output): see OutputLost. A named device
    // that is missing at start-up is told at once, as a loss.
    void watchOutput(SupervisedOutput& output);

    // The sound device is lost (or the named one not there yet): the playing deck stops as
    // F11 stops it, and the status line shows the output's warning (a standing warning) until
    // the device is back. Never a box: on some window managers a box takes the keyboard focus
    // and the deck keys with it, while the line under the decks is always in view. Decks, locks
    // and settings stay as they are.
    void OutputLost();
    void OutputRestored();
    // Pre-listening on a second output (off unless the station names one), bound to the
    // cart list and the decks (PreListenBinding); supervised, when given, is that output.
    void enablePreListen(std::unique_ptr<OutputDevice> output,
                         SupervisedOutput* supervised = nullptr);
    // Null while off.
    PreListen* preListen() const { return m_preListen.get(); }

    // Start-up.
    void Title_Form_Paint();
    void Title_Timer2_Timer();
    void Form1_Form_Load();
    // Gives each deck its default mode from the settings file.
    void LoadDeckModes();
    // Exit.
    void Form1_SSCommand2_Click();
    // Also when the main window is closed through the window manager.
    void CloseAllWindows();
    // Ends the program as the exit button's Yes does, without asking (a shutdown, a
    // logout): every window closes and every event loop ends, a box that is up included.
    void Quit();

    // The title window until it closes, then null.
    Title* title() const { return m_title; }
    Form1& form1() const { return *m_form1; }
    // Runs every 10 ms from the load on, and rests while the deck engine's end-of-cart
    // check has nothing to find; the deck engine's endCheckWanted starts it again.
    QTimer& Timer1() { return m_timer1; }
    QTimer& Timer2() { return m_timer2; }
    bool form1Loaded() const { return m_form1Loaded; }

    AudioEngine& audio() { return m_audio; }
    MciDevice& MMControl1() { return m_mmControl1; }
    MciDevice& MMPreview() { return m_mmPreview; }
    ProfileFile& profile() { return m_profile; }
    CartList& cartList() { return m_cartList; }
    CategoryTabs& tabs() { return m_tabs; }
    DeckEngine& decks() { return m_decks; }
    StationSettings& settings() { return m_settings; }
    CartLibrary& library() { return m_library; }
    FunctionKeys& keys() { return m_keys; }
    ButtonRow& buttons() { return m_buttons; }
    InfoWindows& infoWindows() { return m_info; }
    ConfigWindows& configWindows() { return *m_configWindows; }
    AppExtras& extras() { return *m_extras; }
    // The line under the decks: every feature tells the operator there.
    StatusLine& statusLine() { return m_statusLine; }

private:
    void showForm1();

    MessageBoxes& m_boxes;
    QtEventPump m_pump;
    AudioEngine m_audio;
    MciDevice m_mmControl1;
    MciDevice m_mmPreview;
    ProfileFile m_profile;
    CartList m_cartList;
    CategoryTabs m_tabs;
    DeckEngine m_decks;
    StationSettings m_settings;
    CartLibrary m_library;
    FunctionKeys m_keys;
    ButtonRow m_buttons;
    StatusLine m_statusLine;

    std::unique_ptr<Form1> m_form1;
    std::unique_ptr<Form1Binding> m_binding;
    std::unique_ptr<AppExtras> m_extras;
    InfoWindows m_info;
    std::unique_ptr<ConfigWindows> m_configWindows;
    QPointer<Title> m_title;
    QTimer m_timer1;
    QTimer m_timer2;
    SupervisedOutput* m_output = nullptr; // the watched output, if any
    qint16 m_titleTicks = 0;
    bool m_form1Loaded = false;
    // Before the window and the engine it uses go.
    std::unique_ptr<PreListen> m_preListen;
    std::unique_ptr<PreListenBinding> m_preListenBinding;
};
