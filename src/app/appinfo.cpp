#include "app/appinfo.h"

#include "shell/functionkeys.h"
#include "ui/about.h"
#include "ui/form1.h"
#include "ui/form3.h"
#include "ui/qtkeys.h"

#include <QPushButton>
#include <QTextBrowser>

namespace {

// Shows the window, restored if it was minimized, in front and active.
void bringForward(QWidget* window) {
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}

// Closes the window, which deletes itself, and forgets it at once: a click that comes
// before the deletion opens a new one.
template <typename Window> void unload(QPointer<Window>& window) {
    if (Window* open = window) {
        window.clear();
        open->close();
    }
}

} // namespace

InfoWindows::InfoWindows(Form1& form1, FunctionKeys& keys, QObject* parent)
    : QObject(parent), m_form1(form1),
      m_forwarder(new KeyForwarder(
          [&keys](int keyCode, int shift) { keys.HandleFunctionKey(keyCode, shift); }, this)) {
    connect(m_form1.SSCommand5(), &QPushButton::clicked, this,
            &InfoWindows::Form1_SSCommand5_Click);
    connect(m_form1.SSCommand3(), &QPushButton::clicked, this,
            &InfoWindows::Form1_SSCommand3_Click);
}

InfoWindows::~InfoWindows() {
    delete m_about;
    delete m_form3;
}

void InfoWindows::Form1_SSCommand5_Click() {
    if (!m_about || !m_about->isVisible()) {
        unload(m_about);
        m_about = new About;
        m_about->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_about, &About::painted, this, &InfoWindows::About_Form_Paint);
        connect(m_about->Command1(), &QPushButton::clicked, this,
                &InfoWindows::About_Command1_Click);
        m_forwarder->forwardFrom(m_about);
        m_forwarder->forwardFrom(m_about->Command1());
    }
    bringForward(m_about);
}

void InfoWindows::Form1_SSCommand3_Click() {
    if (!m_form3 || !m_form3->isVisible()) {
        unload(m_form3);
        m_form3 = new Form3;
        m_form3->setAttribute(Qt::WA_DeleteOnClose);
        m_forwarder->forwardFrom(m_form3);
        m_forwarder->forwardFrom(m_form3->HelpBox());
    }
    bringForward(m_form3);
}

// OK: the main window comes to the front, active, and About is unloaded.
void InfoWindows::About_Command1_Click() {
    bringForward(&m_form1);
    UnloadAbout();
}

// Whenever the window paints, OK holds the focus, so Enter and Space press it.
void InfoWindows::About_Form_Paint() {
    if (m_about)
        m_about->Command1()->setFocus(Qt::OtherFocusReason);
}

void InfoWindows::UnloadAbout() {
    unload(m_about);
}

void InfoWindows::UnloadForm3() {
    unload(m_form3);
}

About* InfoWindows::about() const {
    return m_about;
}

Form3* InfoWindows::form3() const {
    return m_form3;
}
