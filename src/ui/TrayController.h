#pragma once
#include "app/Action.h"
#include "ui/TrayWindowApi.h"

#include <cstdint>
#include <string>

namespace qv {

class ActionBus;
class DisplayManager;
struct Config;

// The hub of the user-interface thread: owns the hidden controller window,
// whose window procedure receives the program's private, session and
// registered messages, and answers them.
class TrayController {
public:
    static constexpr const char* kWindowClass = "QuorvaneTray";
    static constexpr const char* kWindowTitle = "Quorvane";
    static constexpr int kIconResource = 101;
    static constexpr int kMonochromeIconResource = 102;
    static constexpr uint32_t kWsExToolWindow = 0x00000080;
    static constexpr uint32_t kWsPopup = 0x80000000;

    explicit TrayController(TrayWindowApi& api);
    // Destroys the controller window if it still exists.
    ~TrayController();
    TrayController(const TrayController&) = delete;
    TrayController& operator=(const TrayController&) = delete;

    // Keeps the instance and the references, registers the show-flyout
    // message and creates the hidden top-level controller window. False, with
    // the failure logged, when the window cannot be created.
    bool create(uint64_t instance, ActionBus& bus, DisplayManager& displays, Config& config);

    // The controller window's procedure, for every message after WM_NCCREATE.
    int64_t onMessage(WindowHandle window, uint32_t message, uint64_t wParam, int64_t lParam);

    // Opens the flyout at the point. No flyout is built yet, so this is
    // where the show-flyout request arrives and ends.
    void showFlyout(ScreenPoint point);

    // Shows a notice from the tray icon. Without a tray icon there is nothing
    // to show it from, so it is dropped.
    void notify(const std::string& title, const std::string& text, bool error);

    WindowHandle window() const { return window_; }
    uint32_t showFlyoutMessage() const { return showFlyoutMessage_; }

private:
    void showFlyoutAtCursor();
    uint32_t quitMessage();

    TrayWindowApi& api_;
    uint64_t instance_ = 0;
    WindowHandle window_ = 0;
    ActionBus* bus_ = nullptr;
    DisplayManager* displays_ = nullptr;
    Config* config_ = nullptr;
    uint32_t showFlyoutMessage_ = 0;
    uint32_t quitMessage_ = 0;
};

} // namespace qv
