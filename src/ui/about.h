#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

// The About window: the logo, the version and an OK button, in a small window with a
// caption and no title-bar buttons that stays out of the taskbar. It is left with OK only:
// a close asked for by the window manager is refused. A pure view: it says when it paints,
// and whoever shows it decides what OK does.
class About : public QWidget {
    Q_OBJECT
public:
    explicit About(QWidget* parent = nullptr);

    QLabel* Picture1() const { return m_picture1; }
    QLabel* Label1() const { return m_label1; }
    QPushButton* Command1() const { return m_command1; }

signals:
    // Emitted at every paint of the window.
    void painted();

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* m_picture1 = nullptr;
    QLabel* m_label1 = nullptr;
    QPushButton* m_command1 = nullptr;
};
