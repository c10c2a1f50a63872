#pragma once
#include "windows/WindowEvents.h"

#include <vector>

namespace qv {

// WinEvent hooks, out of context and skipping this process, for the
// foreground window, the end of a move or size by the user, and the start and
// end of minimising. The calls arrive through the starting thread's message
// loop. One instance at a time.
class Win32WindowEvents final : public WindowEvents {
public:
    // The program's own windows are left out; a test that has no other
    // process's windows to watch takes them in.
    explicit Win32WindowEvents(bool includeOwnProcess = false) : includeOwnProcess_(includeOwnProcess) {}
    ~Win32WindowEvents() override;
    Win32WindowEvents(const Win32WindowEvents&) = delete;
    Win32WindowEvents& operator=(const Win32WindowEvents&) = delete;
    bool start(std::function<void()> changed) override;
    void stop() override;

private:
    bool includeOwnProcess_;
    std::vector<void*> hooks_;  // HWINEVENTHOOK
};

} // namespace qv
