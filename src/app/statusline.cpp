#include "app/statusline.h"

#include <algorithm>

void StatusLine::set(const QString& source, const QString& text, Priority priority) {
    const QString before = this->text();
    const bool wasWarning = isWarning();
    std::erase_if(m_entries, [&](const Entry& entry) { return entry.source == source; });
    if (!text.isEmpty())
        m_entries.push_back({source, text, priority});
    if (this->text() != before || isWarning() != wasWarning)
        emit changed();
}

void StatusLine::update(const QString& source, const QString& text) {
    const auto held = std::find_if(m_entries.begin(), m_entries.end(),
                                   [&](const Entry& entry) { return entry.source == source; });
    if (held == m_entries.end() || text.isEmpty()) {
        set(source, text);
        return;
    }
    const QString before = this->text();
    held->text = text;
    if (this->text() != before)
        emit changed();
}

const StatusLine::Entry* StatusLine::shown() const {
    const auto warning = std::find_if(m_entries.rbegin(), m_entries.rend(), [](const Entry& e) {
        return e.priority == Priority::Warning;
    });
    if (warning != m_entries.rend())
        return &*warning;
    return m_entries.empty() ? nullptr : &m_entries.back();
}

QString StatusLine::text() const {
    const Entry* entry = shown();
    return entry ? entry->text : QString();
}

bool StatusLine::isWarning() const {
    const Entry* entry = shown();
    return entry && entry->priority == Priority::Warning;
}
