#pragma once

#include <QString>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>

// Bad input from one source ("OSC", "MIDI"), counted by kind and told on stderr without
// flooding it: the first of a kind at once, with its detail; later ones as a count, at most
// once every ten seconds per kind and only when one arrives; what is left untold at the end.
// Any thread.
class WarningCounter {
public:
    explicit WarningCounter(QString source);
    ~WarningCounter();
    WarningCounter(const WarningCounter&) = delete;
    WarningCounter& operator=(const WarningCounter&) = delete;

    void note(const QString& kind, const QString& detail = {});
    std::uint64_t count(const QString& kind) const;

private:
    using Clock = std::chrono::steady_clock;
    struct Kind {
        std::uint64_t count = 0;
        std::uint64_t told = 0;
        Clock::time_point toldAt;
    };
    void tell(const QString& kind, Kind& state);

    const QString m_source;
    mutable std::mutex m_mutex;
    std::map<QString, Kind> m_kinds;
};
