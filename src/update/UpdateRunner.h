#pragma once
#include "base/WindowHandle.h"
#include "update/UpdateFlow.h"

#include <functional>
#include <string>

namespace qv {

// Starts update checks on threads of their own, which run to the end even
// while the program quits. Each thread gets copies of its arguments and
// reports through the update flow's UI: message boxes, notices and messages
// to the controller window, which frees what they carry.
class UpdateRunner {
public:
    // The messages the checks post to the controller window; lParam is a
    // newly allocated std::string with the version (UTF-8), or null.
    static constexpr uint32_t kUpdateAvailableMessage = 0x8002; // WM_APP + 2
    static constexpr uint32_t kUpdateInstallingMessage = 0x8004; // WM_APP + 4
    // As WM_APP + 4, from the automatic check: the controller remembers the
    // version before quitting, so it is not installed automatically again.
    static constexpr uint32_t kUpdateAutoInstallingMessage = 0x8006; // WM_APP + 6
    // An error notice from a check's thread, shown by the controller on its
    // own thread: lParam is a newly allocated pair of title and text.
    static constexpr uint32_t kUpdateNoticeMessage = 0x8005; // WM_APP + 5

    virtual ~UpdateRunner() = default;
    // `window` is the controller window the check posts to.
    virtual void startAutomatic(WindowHandle window, const AutomaticCheck& check) = 0;
    // `finished` runs on the check's thread when it ends, whatever the outcome.
    virtual void startRequested(WindowHandle window, const std::string& baseUrl, const std::string& channel,
                                std::function<void()> finished) = 0;
};

} // namespace qv
