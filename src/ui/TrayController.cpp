#include "ui/TrayController.h"

#include "app/Log.h"

namespace qv {

namespace {

constexpr uint32_t kWmDestroy = 0x0002;
constexpr uint32_t kWmClose = 0x0010;
constexpr uint32_t kWmQueryEndSession = 0x0011;
constexpr uint32_t kWmEndSession = 0x0016;

} // namespace

TrayController::TrayController(TrayWindowApi& api) : api_(api) {}

TrayController::~TrayController() {
    // Destroying the window sends WM_DESTROY, which clears window_.
    if (window_ != 0) api_.destroyWindow(window_);
}

bool TrayController::create(uint64_t instance, ActionBus& bus, DisplayManager& displays, Config& config) {
    instance_ = instance;
    bus_ = &bus;
    displays_ = &displays;
    config_ = &config;
    showFlyoutMessage_ = api_.registerMessage("Quorvane_ShowFlyout");

    // A failed registration shows up as a failed creation just below.
    api_.registerWindowClass(instance_, kWindowClass, kIconResource);
    // Top-level (a hidden pop-up, not a message-only window) so that the
    // broadcast show-flyout message reaches it.
    window_ = api_.createWindow(instance_, kWsExToolWindow, kWindowClass, kWindowTitle, kWsPopup, *this);
    if (window_ == 0) {
        log::write(log::Error, "TrayController: CreateWindowEx failed");
        return false;
    }
    return true;
}

int64_t TrayController::onMessage(WindowHandle window, uint32_t message, uint64_t wParam, int64_t lParam) {
    if (showFlyoutMessage_ != 0 && message == showFlyoutMessage_) {
        showFlyoutAtCursor();
        return 0;
    }
    const uint32_t quit = quitMessage();
    if (quit != 0 && message == quit) {
        api_.postQuit(0);
        return 0;
    }
    switch (message) {
    case kWmDestroy:
        window_ = 0;
        return 0;
    case kWmClose:
        api_.postQuit(0);
        return 0;
    case kWmQueryEndSession:
        return 1;
    case kWmEndSession:
        if (wParam != 0) api_.postQuit(0);
        return 0;
    default:
        return api_.defaultWindowProc(window, message, wParam, lParam);
    }
}

void TrayController::showFlyout(ScreenPoint) {}

void TrayController::notify(const std::string&, const std::string&, bool) {}

void TrayController::showFlyoutAtCursor() {
    ScreenPoint point;
    api_.cursorPos(point);
    showFlyout(point);
}

uint32_t TrayController::quitMessage() {
    if (quitMessage_ == 0) quitMessage_ = api_.registerMessage("Quorvane_Quit");
    return quitMessage_;
}

} // namespace qv
