#include "web/GlassFlyoutPanel.h"

#include "base/Dpi.h"
#include "base/Log.h"
#include "web/BrowserRuntime.h"
#include "web/FlyoutState.h"
#include "web/FlyoutWindow.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace qv {

GlassFlyoutPanel::GlassFlyoutPanel(FlyoutWindow& window, ActionBus* bus, Config* config, Hooks hooks)
    : window_(window), bus_(bus), config_(config), hooks_(std::move(hooks)), commands_(bus, config, hooks_, *this) {
    window_.attach(this);
}

GlassFlyoutPanel::~GlassFlyoutPanel() {
    if (window_.exists()) window_.destroy();
    window_.attach(nullptr);
}

bool GlassFlyoutPanel::show(ScreenPoint anchor) {
    if (fellBack_) return false;
    anchor_ = anchor;
    if (!window_.exists()) create();
    if (!window_.exists()) {
        fellBack_ = true;
        return false;
    }
    place(height_);
    if (ready_) {
        window_.executeScript("window.qvShown&&window.qvShown()");
        pushState();
    }
    window_.setLevelTimer();
    return true;
}

void GlassFlyoutPanel::create() {
    // The window starts with its bottom-right corner at the anchor.
    const uint32_t dpi = window_.systemDpi();
    const int32_t w = dpiScale(kWidth, dpi);
    const int32_t h = dpiScale(height_, dpi);
    if (!window_.create(ScreenRect{anchor_.x - w, anchor_.y - h, anchor_.x, anchor_.y})) {
        log::write(log::Error, "GlassFlyoutPanel: CreateWindowEx failed");
        return;
    }
    if (!window_.createEnvironment(profileFolder(window_.localAppData())))
        fallBack("environment create call failed");
}

void GlassFlyoutPanel::onEnvironmentCreated(bool ok) {
    if (fellBack_) return;
    if (!ok) return fallBack("WebView2 environment failed");
    if (!window_.createController()) fallBack("WebView2 controller failed");
}

void GlassFlyoutPanel::onControllerCreated(bool ok) {
    if (fellBack_) return;
    if (!ok) return fallBack("WebView2 controller failed");
    window_.startPage();
}

void GlassFlyoutPanel::onNavigationCompleted() {
    // Whatever the navigation's status: a page that failed shows nothing,
    // one that loaded gets its first state.
    ready_ = true;
    pushState();
}

void GlassFlyoutPanel::fallBack(const char* reason) {
    if (fellBack_) return;
    log::write(log::Error, std::string("GlassFlyoutPanel: ") + reason + " \xE2\x80\x94 falling back to the classic flyout");
    fellBack_ = true;
    window_.destroy();
}

void GlassFlyoutPanel::hide() {
    window_.killLevelTimer();
    window_.hide();
}

void GlassFlyoutPanel::refreshIfVisible() {
    if (window_.exists() && window_.isVisible() && ready_) pushState();
}

void GlassFlyoutPanel::post(std::function<void()> task) {
    tasks_.push_back(std::move(task));
    if (window_.exists()) window_.postTaskMessage();
}

void GlassFlyoutPanel::pushState() {
    if (!ready_ || !window_.hasWebView() || !bus_) return;
    window_.executeScript(FlyoutState::stateScript(FlyoutState::state(*bus_, config_, hooks_)));
}

void GlassFlyoutPanel::pushLevels() {
    if (!ready_ || !window_.hasWebView() || !hooks_.audioLevel) return;
    window_.executeScript(FlyoutState::levelsScript(hooks_));
}

void GlassFlyoutPanel::onWebMessage(const std::string& text) { commands_.onWebMessage(text); }

void GlassFlyoutPanel::onActivate(bool inactive, bool activatedIsChild) {
    // Clicking anywhere else closes the flyout; clicking into its own browser does not.
    if (inactive && !activatedIsChild) hide();
}

void GlassFlyoutPanel::onClose() { hide(); }

void GlassFlyoutPanel::onSize() { window_.updateBounds(); }

void GlassFlyoutPanel::onTimer(uint32_t id) {
    if (id != kLevelTimer) return;
    // The timer stops itself when it fires for a hidden window.
    if (window_.isVisible()) {
        pushLevels();
    } else {
        window_.killLevelTimer();
    }
}

void GlassFlyoutPanel::onDpiChanged() {
    post([this] {
        if (window_.isVisible()) place(height_);
    });
}

void GlassFlyoutPanel::onTaskMessage() {
    if (tasks_.empty()) return;
    std::function<void()> task = std::move(tasks_.front());
    tasks_.pop_front();
    task();
}

void GlassFlyoutPanel::onDestroy() {
    window_.closeBrowser();
    ready_ = false;
}

void GlassFlyoutPanel::resize(int32_t height) {
    if (window_.exists() && window_.isVisible() && height != height_) {
        place(height);
    } else {
        height_ = height;
    }
}

void GlassFlyoutPanel::quit(int exitCode) { window_.quit(exitCode); }

void GlassFlyoutPanel::place(int32_t heightDip) {
    height_ = heightDip;
    uint32_t dpi = window_.windowDpi();
    if (dpi == 0) dpi = 96;
    const int32_t w = dpiScale(kWidth, dpi);
    const int32_t h = dpiScale(heightDip, dpi);
    // Without monitor information the flyout goes where the anchor puts it.
    const ScreenRect work = window_.workAreaNear(anchor_).value_or(
        ScreenRect{anchor_.x - w, anchor_.y - h, anchor_.x + w, anchor_.y + h});
    window_.showAt(placement(anchor_, work, dpi, heightDip));
}

ScreenRect GlassFlyoutPanel::placement(ScreenPoint anchor, const ScreenRect& work, uint32_t dpi, int32_t heightDip) {
    const int32_t w = dpiScale(kWidth, dpi);
    const int32_t margin = dpiScale(kMargin, dpi);
    const int32_t minimum = dpiScale(kMinHeight, dpi);
    int32_t h = std::min(work.height() - margin, dpiScale(heightDip, dpi));
    if (h < minimum) h = minimum;

    int32_t x = anchor.x - work.left < w ? anchor.x : anchor.x - w;
    x = std::max(std::min(x, work.right - w), work.left);
    int32_t y = anchor.y - work.top < h ? anchor.y : anchor.y - h;
    y = std::max(std::min(y, work.bottom - h), work.top);
    return ScreenRect{x, y, x + w, y + h};
}

std::string GlassFlyoutPanel::profileFolder(const std::string& localAppData) {
    return browserProfileFolder(localAppData);
}

} // namespace qv
