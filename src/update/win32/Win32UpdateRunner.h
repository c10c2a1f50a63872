#pragma once
#include "update/UpdateRunner.h"

namespace qv {

// Runs each update check on a detached thread of its own with the Win32
// services: WinHTTP, CNG, the shell and message boxes. Results reach the
// controller window as posted messages carrying newly allocated payloads.
class Win32UpdateRunner final : public UpdateRunner {
public:
    void startAutomatic(WindowHandle window, const AutomaticCheck& check) override;
    void startRequested(WindowHandle window, const std::string& baseUrl, const std::string& channel,
                        std::function<void()> finished) override;
};

} // namespace qv
