#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

// TabStrip1: one tab per category, numbered from 1, and which one is selected.
// UI thread only.
class CategoryTabs : public QObject {
    Q_OBJECT
public:
    explicit CategoryTabs(QObject* parent = nullptr) : QObject(parent) {}

    // Removes every tab; nothing is selected.
    void Clear();
    // Inserts a tab at index (1..Count()+1). The first tab added is selected.
    void Add(int index, const QString& caption);

    int Count() const { return int(m_captions.size()); }
    QString Caption(int index) const { return m_captions.value(index - 1); }
    int SelectedIndex() const { return m_selected; } // 1-based; 0 when there are no tabs
    void Select(int index);

signals:
    void tabsChanged();
    void selectedChanged(int index);

private:
    QStringList m_captions;
    int m_selected = 0;
};
