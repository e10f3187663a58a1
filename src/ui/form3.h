#pragma once

#include <QWidget>

class QTextBrowser;

// The Help window: one scrolling, read-only rich-text box with the help document, which is
// read from the program's resources each time the window is created. A pure view.
class Form3 : public QWidget {
    Q_OBJECT
public:
    explicit Form3(QWidget* parent = nullptr);

    QTextBrowser* HelpBox() const { return m_helpBox; }

private:
    QTextBrowser* m_helpBox = nullptr;
};
