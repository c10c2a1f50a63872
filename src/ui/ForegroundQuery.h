#pragma once
#include "base/WindowHandle.h"

#include <cstdint>
#include <string>

namespace qv {

// The application that was in front when the flyout opened: the flyout's
// snap and app-audio commands act on it, not on the flyout itself.
struct ForegroundCapture {
    uint32_t processId = 0;
    std::string imagePath; // full path of the process image, UTF-8; empty when unknown
    std::string exeName;   // the path after its last backslash or slash
    WindowHandle window = 0;

    // The part of a path after its last backslash or slash; the whole path
    // when it has neither.
    static std::string exeNameOf(const std::string& imagePath) {
        const size_t cut = imagePath.find_last_of("\\/");
        return cut == std::string::npos ? imagePath : imagePath.substr(cut + 1);
    }
};

// Who is in front: GetForegroundWindow (when that is the taskbar, which a
// click on the tray icon puts in front, the application window highest in
// the Z order instead), GetWindowThreadProcessId, then the process image (OpenProcess with PROCESS_QUERY_LIMITED_INFORMATION,
// QueryFullProcessImageNameW). Fields stay empty and 0 where a step fails;
// exeName is left to the caller.
class ForegroundQuery {
public:
    virtual ~ForegroundQuery() = default;
    virtual ForegroundCapture capture() = 0;
};

} // namespace qv
