#include "library/categorytabs.h"

void CategoryTabs::Clear() {
    m_captions.clear();
    m_selected = 0;
    emit tabsChanged();
}

void CategoryTabs::Add(int index, const QString& caption) {
    const int at = qBound(0, index - 1, int(m_captions.size()));
    m_captions.insert(at, caption);
    if (m_selected == 0)
        m_selected = 1;
    else if (at < m_selected)
        ++m_selected; // the selected tab moved right
    emit tabsChanged();
}

void CategoryTabs::Select(int index) {
    if (index < 1 || index > Count() || index == m_selected)
        return;
    m_selected = index;
    emit selectedChanged(index);
}
