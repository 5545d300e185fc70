#pragma once
// A bounded wait for a ManualResetEvent, so that a test whose event is never set fails instead
// of hanging.

#include <chrono>
#include <thread>

#include "platform/manual_reset_event.h"

inline bool waitForSet(const ManualResetEvent& event, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!event.isSet()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}
