#pragma once

// Lets pending window events run in the middle of a handler, as the time display does
// after it repaints. Injected so tests can run a key press or a timer tick at exactly
// that point. UI thread only.
class EventPump {
public:
    virtual ~EventPump() = default;
    virtual void processPendingEvents() = 0;
};
