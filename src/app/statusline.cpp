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
