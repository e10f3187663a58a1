#pragma once

#include <QWidget>

class QLabel;

// The title window shown at start: no title bar, a thin border, the logo and the version.
// It paints and says so; when it closes is decided by whoever shows it.
class Title : public QWidget {
    Q_OBJECT
public:
    explicit Title(QWidget* parent = nullptr);

    QLabel* Picture2() const { return m_picture2; }
    QLabel* Label1() const { return m_label1; }

signals:
    // Emitted at every paint of the window.
    void painted();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* m_picture2 = nullptr;
    QLabel* m_label1 = nullptr;
};
