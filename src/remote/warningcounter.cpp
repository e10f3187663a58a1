#include "remote/warningcounter.h"

#include <cstdio>
#include <utility>

namespace {
constexpr auto kQuiet = std::chrono::seconds(10);
}

WarningCounter::WarningCounter(QString source) : m_source(std::move(source)) {}

WarningCounter::~WarningCounter() {
    for (auto& [kind, state] : m_kinds)
        if (state.count > state.told)
            tell(kind, state);
}

void WarningCounter::note(const QString& kind, const QString& detail) {
    const std::lock_guard lock(m_mutex);
    Kind& state = m_kinds[kind];
    ++state.count;
    if (state.count == 1) {
        std::fprintf(stderr, "%s: ignored %s%s%s (further ones are counted)\n",
                     qUtf8Printable(m_source), qUtf8Printable(kind), detail.isEmpty() ? "" : ": ",
                     qUtf8Printable(detail));
        state.told = 1;
        state.toldAt = Clock::now();
    } else if (Clock::now() - state.toldAt >= kQuiet) {
        tell(kind, state);
    }
}

std::uint64_t WarningCounter::count(const QString& kind) const {
    const std::lock_guard lock(m_mutex);
    const auto found = m_kinds.find(kind);
    return found == m_kinds.end() ? 0 : found->second.count;
}

void WarningCounter::tell(const QString& kind, Kind& state) {
    std::fprintf(stderr, "%s: ignored %llu more %s (%llu in all)\n", qUtf8Printable(m_source),
                 static_cast<unsigned long long>(state.count - state.told), qUtf8Printable(kind),
                 static_cast<unsigned long long>(state.count));
    state.told = state.count;
    state.toldAt = Clock::now();
}
