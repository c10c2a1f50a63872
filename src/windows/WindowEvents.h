#pragma once
#include <functional>

namespace qv {

// Tells when another program's window came to the front, was moved or sized
// by the user, or was minimised or restored: the moments when the places of
// the windows are worth recording. Nothing arrives while nothing happens.
class WindowEvents {
public:
    virtual ~WindowEvents() = default;
    // Starts the notifications; each calls `changed` on the thread that
    // started them. False when they cannot be had.
    virtual bool start(std::function<void()> changed) = 0;
    virtual void stop() = 0;
};

} // namespace qv
