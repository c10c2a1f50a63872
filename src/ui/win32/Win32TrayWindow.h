#pragma once
#include "ui/TrayWindowApi.h"

namespace qv {

// The tray controller's hidden window through user32. Its window procedure
// is a static thunk that binds the controller given at creation (stored in
// GWLP_USERDATA at WM_NCCREATE) and forwards every later message to it.
class Win32TrayWindow final : public TrayWindowApi {
public:
    uint32_t registerMessage(const std::string& name) override;
    bool registerWindowClass(uint64_t instance, const std::string& className, int iconResource) override;
    WindowHandle createWindow(uint64_t instance, uint32_t exStyle, const std::string& className,
                              const std::string& title, uint32_t style, TrayController& controller) override;
    void destroyWindow(WindowHandle window) override;
    int64_t defaultWindowProc(WindowHandle window, uint32_t message, uint64_t wParam, int64_t lParam) override;
    void postQuit(int exitCode) override;
    bool postMessage(WindowHandle window, uint32_t message, uint64_t wParam, int64_t lParam) override;
    bool cursorPos(ScreenPoint& point) override;
    int ownedMessageBox(WindowHandle owner, const std::string& text, const std::string& caption,
                        uint32_t flags) override;
    bool setTimer(WindowHandle window, uint32_t id, uint32_t milliseconds) override;
    bool killTimer(WindowHandle window, uint32_t id) override;
    bool shutdownBlockReasonCreate(WindowHandle window, const std::string& reason) override;
    bool shutdownBlockReasonDestroy(WindowHandle window) override;
};

} // namespace qv
