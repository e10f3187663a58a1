#include "app/app.h"

#include "app/appextras.h"
#include "app/appform1.h"
#include "app/appform2.h"
#include "app/appprelisten.h"
#include "audio/supervisedoutput.h"
#include "common/messageboxes.h"
#include "decks/asrunlog.h"
#include "decks/prelisten.h"
#include "ui/form1.h"
#include "ui/title.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <utility>

AirloomApp::AirloomApp(const QString& settingsPath, std::unique_ptr<OutputDevice> output,
                       MessageBoxes& boxes, QObject* parent)
    : QObject(parent), m_boxes(boxes), m_audio(std::move(output)), m_mmControl1(m_audio),
      m_mmPreview(m_audio), m_profile(settingsPath),
      m_decks(m_mmControl1, m_mmPreview, m_cartList, m_pump), m_settings(m_profile),
      m_library(m_cartList, m_tabs, m_settings, m_decks, boxes), m_keys(m_decks, m_cartList),
      m_buttons(m_decks, m_library), m_form1(std::make_unique<Form1>()), m_info(*m_form1, m_keys) {
    m_mmControl1.setObjectName(QStringLiteral("MMControl1"));
    m_mmPreview.setObjectName(QStringLiteral("MMPreview"));

    m_binding = std::make_unique<Form1Binding>(*m_form1, m_decks, m_cartList, m_tabs, m_settings,
                                               m_library, m_keys, m_buttons, m_statusLine);
    // A cart that would not play is named until the next fire plays.
    connect(&m_decks, &DeckEngine::fired, this,
            [this](int, const QString& error) { m_statusLine.set(StatusLine::kFire, error); });
    connect(m_form1->SSCommand2(), &QPushButton::clicked, this,
            &AirloomApp::Form1_SSCommand2_Click);
    // Closed through the window manager too, the main window takes the others with it, so
    // that the program ends: the decks must never go on playing with no window to stop
    // them. No question is asked.
    connect(m_form1.get(), &Form1::closing, this, &AirloomApp::CloseAllWindows);
    m_configWindows = std::make_unique<ConfigWindows>(
        m_profile, m_settings,
        [this] {
            m_library.LoadSettings();
            // A bad folder has been reported by LoadSettings already.
            m_cartList.Refresh();
        },
        m_keys, boxes, *m_form1);
    connect(m_form1->SSCommand1(), &QPushButton::clicked, m_configWindows.get(),
            &ConfigWindows::Form1_SSCommand1_Click);

    // The end-of-cart check polls every 10 ms; the player's completion notice is not used.
    m_timer1.setObjectName(QStringLiteral("Timer1"));
    m_timer1.setInterval(kTimer1Interval);
    connect(&m_timer1, &QTimer::timeout, &m_decks, &DeckEngine::Timer1_Timer);
    // After the end-of-cart check: the warning follows what the check left playing.
    m_extras = std::make_unique<AppExtras>(m_profile, m_audio, m_decks, m_mmControl1, *m_form1,
                                           m_timer1, m_keys);
    // Not a message box: the operator is not stopped mid-show.
    if (AsRunLog* log = m_extras->asRunLog()) {
        connect(log, &AsRunLog::writeFailed, this,
                [this](const QString& text) { m_statusLine.set(StatusLine::kLog, text); });
        connect(log, &AsRunLog::writeRecovered, this,
                [this] { m_statusLine.clear(StatusLine::kLog); });
    }
    // A playing cart whose share stopped answering: named on the status line until the
    // file answers; the deck plays on from where it stopped.
    connect(&m_audio, &AudioEngine::fileStalled, this, [this](const QString& path) {
        // The deck on air, else (a follower that took over a moment ago) the deck holding it.
        int deck = m_decks.CurrentDeck();
        for (int d = 1; d <= kDeckCount && m_decks.FilePath(deck) != path; ++d) {
            if (m_decks.FilePath(d) == path)
                deck = d;
        }
        m_statusLine.set(StatusLine::kStall + path,
                         QStringLiteral("Deck %1: %2: the file stopped answering")
                             .arg(deck)
                             .arg(QFileInfo(path).fileName()));
    });
    // The output's dropouts since the start, on a hover over the status line: always in
    // view under the decks, and never pushing a message or a warning off the line.
    m_form1->statusLine()->setNote([this] {
        const QString dropouts = m_audio.describeDropouts();
        return dropouts.isEmpty() ? dropouts : QStringLiteral("Output: %1.").arg(dropouts);
    });
    connect(&m_audio, &AudioEngine::fileAnswered, this,
            [this](const QString& path) { m_statusLine.clear(StatusLine::kStall + path); });
    // After the check and the warning: a tick that leaves nothing to find lets the timer
    // rest (a resting timer saves a hundred wake-ups a second); the next "Play" wakes it.
    // A tick of a rested timer would have changed nothing: no cart plays, both latches are
    // down, and the warning has put its light out on this tick.
    connect(&m_timer1, &QTimer::timeout, this, [this] {
        if (m_decks.EndCheckIdle())
            m_timer1.stop();
    });
    connect(&m_decks, &DeckEngine::endCheckWanted, this, [this] {
        if (m_form1Loaded && !m_timer1.isActive())
            m_timer1.start();
    });

    m_timer2.setObjectName(QStringLiteral("Timer2"));
    connect(&m_timer2, &QTimer::timeout, this, &AirloomApp::Title_Timer2_Timer);
}

AirloomApp::~AirloomApp() {
    // First, while the decks and the player are all there: the log records the playing cart.
    m_extras.reset();
    delete m_title;
}

void AirloomApp::start() {
    for (const QString& stale : m_profile.RemoveStaleTemporaries())
        std::fprintf(stderr, "Removed a stale temporary settings file: %s\n",
                     QFile::encodeName(stale).constData());
    m_title = new Title;
    // Closing the title window unloads it.
    m_title->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_title, &Title::painted, this, &AirloomApp::Title_Form_Paint);
    m_title->show();
}

void AirloomApp::watchOutput(SupervisedOutput& output) {
    m_output = &output;
    connect(&output, &SupervisedOutput::lost, this, &AirloomApp::OutputLost);
    connect(&output, &SupervisedOutput::restored, this, &AirloomApp::OutputRestored);
    // The device the station named is not there yet: told as a loss is.
    if (output.isLost())
        OutputLost();
}

void AirloomApp::enablePreListen(std::unique_ptr<OutputDevice> output,
                                 SupervisedOutput* supervised) {
    m_preListenBinding.reset();
    m_preListen = std::make_unique<PreListen>(m_audio, std::move(output));
    m_preListenBinding = std::make_unique<PreListenBinding>(*m_form1, m_cartList, m_decks,
                                                            *m_preListen, m_statusLine, supervised);
}

void AirloomApp::setOutputWarning(const QString& warning) {
    m_statusLine.set(StatusLine::kOutput, warning, StatusLine::Priority::Warning);
}

void AirloomApp::OutputLost() {
    if (m_decks.IsPlaying(m_decks.CurrentDeck()))
        m_decks.StopCart();
    setOutputWarning(m_output ? m_output->warning() : QString::fromUtf8(kOutputLostWarning));
}

void AirloomApp::OutputRestored() {
    m_statusLine.clear(StatusLine::kOutput);
}

void AirloomApp::Title_Form_Paint() {
    // Every paint sets the interval; a timer already ticking keeps its rhythm.
    if (!m_timer2.isActive())
        m_timer2.start(kTimer2Interval);
}

void AirloomApp::Title_Timer2_Timer() {
    if (m_titleTicks >= kTitleTicksBeforeMain) {
        // The timer belongs to the title window and goes with it. It stops first: the load
        // may ask the operator about a bad folder, and a tick during that question must
        // not open the window a second time.
        m_timer2.stop();
        showForm1();
        if (m_title)
            m_title->close();
    }
    ++m_titleTicks;
}

void AirloomApp::showForm1() {
    if (!m_form1Loaded)
        Form1_Form_Load();
    m_form1->show();
    // Asks for the keyboard: a window manager gives it anyway, but without one X gives the
    // keyboard to no window until the operator clicks, and the F-keys would be dead.
    m_form1->activateWindow();
    m_form1->SSCommand1()->setFocus();
}

void AirloomApp::Form1_Form_Load() {
    m_form1Loaded = true;
    LoadDeckModes();
    m_decks.ClearDeckLabels();
    m_library.LoadSettings();
    m_form1->Label42()->hide();
    m_timer1.start();
}

void AirloomApp::LoadDeckModes() {
    for (int deck = 1; deck <= kDeckCount; ++deck)
        m_decks.SetDeckMode(deck, m_settings.DeckDefaultMode(deck));
}

void AirloomApp::Form1_SSCommand2_Click() {
    const int answer = m_boxes.MsgBox(QStringLiteral("Exit Airloom?"), MessageBoxes::kYesNoQuestion,
                                      QStringLiteral("Are you sure you want to exit?"));
    if (answer != MessageBoxes::kYes)
        return;
    CloseAllWindows();
    m_form1->close();
}

void AirloomApp::Quit() {
    // First: a loop that a window's close may start (a question) ends at once.
    QCoreApplication::exit(0);
    CloseAllWindows();
}

// In order: the main window, the configuration window (and the Add Category dialog, which
// would keep the program running), the help and About windows, the title window. The program
// ends with the last window. The main window's closing comes back here; a window that is
// closing already is not closed again.
void AirloomApp::CloseAllWindows() {
    m_form1->close();
    m_configWindows->closeAll();
    m_info.UnloadForm3();
    m_info.UnloadAbout();
    if (m_title)
        m_title->close();
}
