#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

// The Add Category dialog: a title box and OK and Cancel. A pure view; object names are the
// control names. It has a close button only and belongs to no other window.
class AddCat : public QWidget {
    Q_OBJECT
public:
    explicit AddCat(QWidget* parent = nullptr);

    QLabel* Label1() const { return m_label1; }
    QLineEdit* Text1() const { return m_text1; }
    QPushButton* Command1() const { return m_command1; } // "&OK"
    QPushButton* Command2() const { return m_command2; } // "&Cancel"

private:
    QLabel* m_label1 = nullptr;
    QLineEdit* m_text1 = nullptr;
    QPushButton* m_command1 = nullptr;
    QPushButton* m_command2 = nullptr;
};
