#pragma once
#include "base/ScreenPoint.h"
#include "base/WindowHandle.h"

#include <cstdint>
#include <string>

namespace qv {

class TrayController;

// The window services behind the tray controller's hidden window. Handles are
// opaque 64-bit values; constants keep their Windows values.
class TrayWindowApi {
public:
    virtual ~TrayWindowApi() = default;

    // RegisterWindowMessageW; the id of a name is obtained once per process.
    virtual uint32_t registerMessage(const std::string& name) = 0;
    // RegisterClassExW with the controller's window procedure and the icon
    // resource at the large and small icon sizes. A class that is already
    // registered counts as success.
    virtual bool registerWindowClass(uint64_t instance, const std::string& className, int iconResource) = 0;
    // CreateWindowExW at position and size 0 without parent or menu, the
    // controller as creation parameter; its window procedure then forwards
    // every message to TrayController::onMessage. 0 on failure.
    virtual WindowHandle createWindow(uint64_t instance, uint32_t exStyle, const std::string& className,
                                      const std::string& title, uint32_t style, TrayController& controller) = 0;
    virtual void destroyWindow(WindowHandle window) = 0;
    // DefWindowProcW.
    virtual int64_t defaultWindowProc(WindowHandle window, uint32_t message, uint64_t wParam, int64_t lParam) = 0;
    // PostQuitMessage.
    virtual void postQuit(int exitCode) = 0;
    // PostMessageW.
    virtual bool postMessage(WindowHandle window, uint32_t message, uint64_t wParam, int64_t lParam) = 0;
    // GetCursorPos; false on failure.
    virtual bool cursorPos(ScreenPoint& point) = 0;
    // SetTimer and KillTimer on the window.
    virtual bool setTimer(WindowHandle window, uint32_t id, uint32_t milliseconds) = 0;
    virtual bool killTimer(WindowHandle window, uint32_t id) = 0;
    // ShutdownBlockReasonCreate and ShutdownBlockReasonDestroy: the text
    // Windows shows for the window while the session ends and the window
    // still has work to finish; false on failure.
    virtual bool shutdownBlockReasonCreate(WindowHandle window, const std::string& reason) = 0;
    virtual bool shutdownBlockReasonDestroy(WindowHandle window) = 0;
    // MessageBoxW owned by the window; returns the button chosen (IDYES 6,
    // IDNO 7), 0 on failure.
    virtual int ownedMessageBox(WindowHandle owner, const std::string& text, const std::string& caption,
                                uint32_t flags) = 0;
};

} // namespace qv
