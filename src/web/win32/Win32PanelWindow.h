#pragma once
#include "web/win32/Win32BrowserView.h"

#include <string>
#include <string_view>

namespace qv {

class Win32BrowserRuntime;

// What both web panels' Win32 windows share: the browser inside them, carried
// out by a Win32BrowserView, and its completions and page messages passed on
// to the attached panel (Target: onEnvironmentCreated, onControllerCreated,
// onNavigationCompleted, onWebMessage). Port is the panel's window port.
template <class Port, class Target>
class Win32PanelWindow : public Port, private Win32BrowserView::Listener {
public:
    void attach(Target* target) override { target_ = target; }

    std::string localAppData() const override { return localAppDataFolder(); }
    bool createEnvironment(const std::string& profileFolder) override {
        return browser_.createEnvironment(profileFolder);
    }
    bool createController() override { return browser_.createController(); }
    void startPage() override { browser_.startPage(); }
    bool hasWebView() const override { return browser_.hasWebView(); }
    void executeScript(const std::string& script) override { browser_.executeScript(script); }
    void updateBounds() override { browser_.updateBounds(); }
    void closeBrowser() override { browser_.close(); }

protected:
    Win32PanelWindow(Win32BrowserRuntime& runtime, COLORREF background, std::u16string_view (*page)())
        : browser_(runtime, *this, background, page) {}
    ~Win32PanelWindow() override = default;

    Target* target_ = nullptr;
    Win32BrowserView browser_;

private:
    void environmentCreated(bool ok) override {
        if (target_ != nullptr) target_->onEnvironmentCreated(ok);
    }
    void controllerCreated(bool ok) override {
        if (target_ != nullptr) target_->onControllerCreated(ok);
    }
    void navigationCompleted() override {
        if (target_ != nullptr) target_->onNavigationCompleted();
    }
    void webMessage(const std::string& text) override {
        if (target_ != nullptr) target_->onWebMessage(text);
    }
};

} // namespace qv
