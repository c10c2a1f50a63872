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
    ~Win32WindowEvents() override;
    bool start(std::function<void()> changed) override;
    void stop() override;

private:
    std::vector<void*> hooks_;  // HWINEVENTHOOK
};

} // namespace qv
