#pragma once

#include <QObject>
#include <QPointer>

class About;
class Form1;
class Form3;
class FunctionKeys;
class KeyForwarder;
class QWidget;

// Binds the main window's "i" and "?" buttons to the About and Help windows, which open
// beside the main window without blocking it. Each is created when it is shown and shows
// its design state; showing one that is open only brings it to the front. About is
// destroyed by its OK button, Help when it is closed, so a reopened Help window shows the
// stored document from its start. Both windows pass their key presses to the key map, so
// the function keys work while either has the focus.
//
// UI thread only. The open windows belong to this object and go with it.
class InfoWindows : public QObject {
    Q_OBJECT
public:
    InfoWindows(Form1& form1, FunctionKeys& keys, QObject* parent = nullptr);
    ~InfoWindows() override;

    void Form1_SSCommand5_Click();
    void Form1_SSCommand3_Click();
    void About_Command1_Click();
    void About_Form_Paint();

    // Unload the window; nothing happens when it is not open.
    void UnloadAbout();
    void UnloadForm3();

    // The open window, or null.
    About* about() const;
    Form3* form3() const;

private:
    Form1& m_form1;
    KeyForwarder* m_forwarder = nullptr;
    QPointer<About> m_about;
    QPointer<Form3> m_form3;
};
