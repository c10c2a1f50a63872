#pragma once
#include <string>

namespace qv {

// The browser inside a web panel's window, as both panels drive it. Its
// completions arrive at the panel as onEnvironmentCreated, onControllerCreated,
// onNavigationCompleted and onWebMessage. User-interface thread only.
class PanelBrowser {
public:
    virtual ~PanelBrowser() = default;

    // The environment variable LOCALAPPDATA; empty when it is unset or does
    // not fit 260 characters.
    virtual std::string localAppData() const = 0;
    // CreateCoreWebView2EnvironmentWithOptions with the profile folder; false
    // when the call itself fails.
    virtual bool createEnvironment(const std::string& profileFolder) = 0;
    // CreateCoreWebView2Controller for the window; false when the call fails.
    virtual bool createController() = 0;
    // With the controller: the web view, background colour, browser settings,
    // the web-message and navigation-completed handlers, the bounds, and
    // NavigateToString with the panel's page.
    virtual void startPage() = 0;
    virtual bool hasWebView() const = 0;
    // ExecuteScript without a completion handler.
    virtual void executeScript(const std::string& script) = 0;
    // Browser bounds = the window's client rectangle.
    virtual void updateBounds() = 0;
    // Closes the controller and releases the browser's interfaces.
    virtual void closeBrowser() = 0;
};

} // namespace qv
