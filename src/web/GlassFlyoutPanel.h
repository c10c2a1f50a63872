#pragma once
#include "base/ScreenPoint.h"
#include "web/FlyoutCommands.h"
#include "web/FlyoutHooks.h"
#include "windows/WindowSystem.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <string>

namespace qv {

class ActionBus;
class FlyoutWindow;
struct Config;

// The web flyout: an HTML page in the embedded browser, opened from the tray
// icon. Created on the first show and then only shown and hidden, so
// reopening is instant. When the browser cannot be started, the panel falls
// back for good and the controller shows the classic flyout instead.
//
// This class holds the decisions: the creation chain and its fall-back, the
// placement, what each window message does, the deferred-task queue, the
// state and level pushes and the page's commands. FlyoutWindow carries them
// out. User-interface thread only.
class GlassFlyoutPanel final : private FlyoutCommands::Panel {
public:
    using Hooks = FlyoutHooks;
    using AudioChoice = qv::AudioChoice;

    static constexpr int32_t kWidth = 352;         // device-independent pixels
    static constexpr int32_t kDefaultHeight = 520; // until the page asks for another
    static constexpr int32_t kMargin = 24;         // kept free of the work area's height
    static constexpr int32_t kMinHeight = 200;
    static constexpr uint32_t kLevelTimer = 1;

    GlassFlyoutPanel(FlyoutWindow& window, ActionBus* bus, Config* config, Hooks hooks);
    // Destroys the window, if it exists.
    ~GlassFlyoutPanel() override;
    GlassFlyoutPanel(const GlassFlyoutPanel&) = delete;
    GlassFlyoutPanel& operator=(const GlassFlyoutPanel&) = delete;

    // Shows the flyout with its bottom-right corner at the point where there
    // is room (above and left of a taskbar click). False when the web flyout
    // cannot be shown: the caller then shows the classic flyout.
    bool show(ScreenPoint anchor);
    // Kills the level timer and hides the window; the page stays loaded.
    void hide() override;
    // Pushes the state when the window is visible and the page is loaded.
    void refreshIfVisible();
    // Runs the task once the current message has been handled.
    void post(std::function<void()> task) override;

    void pushState() override;
    void pushLevels();

    bool ready() const { return ready_; }
    bool fellBack() const { return fellBack_; }
    int32_t height() const { return height_; }

    // --- Reported by the browser --------------------------------------------
    void onEnvironmentCreated(bool ok);
    void onControllerCreated(bool ok);
    void onNavigationCompleted();
    void onWebMessage(const std::string& text);

    // --- Reported by the window procedure -----------------------------------
    // WM_ACTIVATE: hides when deactivated in favour of a window that is not
    // one of the flyout's own children.
    void onActivate(bool inactive, bool activatedIsChild);
    void onClose();
    void onSize();
    void onTimer(uint32_t id);
    void onDpiChanged();
    // WM_APP + 21: runs the oldest deferred task.
    void onTaskMessage();
    void onDestroy();

    // Where the flyout goes for a height in device-independent pixels: its
    // bottom-right corner at the anchor, flipped below or right of it where
    // there is no room, never outside the work area, its height between the
    // minimum and the work area's height less the margin.
    static ScreenRect placement(ScreenPoint anchor, const ScreenRect& work, uint32_t dpi, int32_t heightDip);
    // The browser profile folder both web panels share.
    static std::string profileFolder(const std::string& localAppData);

private:
    void create();
    void place(int32_t heightDip);
    void fallBack(const char* reason);
    // FlyoutCommands::Panel
    void resize(int32_t height) override;
    void quit(int exitCode) override;

    FlyoutWindow& window_;
    ActionBus* bus_;
    Config* config_;
    Hooks hooks_;
    FlyoutCommands commands_;
    bool ready_ = false;
    bool fellBack_ = false;
    ScreenPoint anchor_;
    std::deque<std::function<void()>> tasks_;
    int32_t height_ = kDefaultHeight;
};

} // namespace qv
