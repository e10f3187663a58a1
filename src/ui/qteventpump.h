#pragma once

#include "common/eventpump.h"

// Runs the window events that are waiting, from inside a handler. UI thread only.
class QtEventPump : public EventPump {
public:
    void processPendingEvents() override;
};
