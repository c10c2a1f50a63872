#pragma once
#include "web/win32/WebView2Callback.h"

#include <windows.h>

#include <string>
#include <string_view>

namespace qv {

class Win32BrowserRuntime;

// The WebView2 browser inside one host window, as both web panels use it:
// the environment with the shared profile, the controller, the web view with
// its background colour, settings and handlers, one page loaded from the
// program, scripts run without completion handlers. The browser's
// completions and events go to the listener; a completion that arrives after
// the view is gone does nothing. User-interface thread only.
class Win32BrowserView {
public:
    class Listener {
    public:
        virtual void environmentCreated(bool ok) = 0;
        virtual void controllerCreated(bool ok) = 0;
        virtual void navigationCompleted() = 0;
        virtual void webMessage(const std::string& text) = 0;

    protected:
        ~Listener() = default;
    };

    Win32BrowserView(Win32BrowserRuntime& runtime, Listener& listener, COLORREF background,
                     std::u16string_view (*page)());
    // Closes and releases everything.
    ~Win32BrowserView();
    Win32BrowserView(const Win32BrowserView&) = delete;
    Win32BrowserView& operator=(const Win32BrowserView&) = delete;

    // The window the browser lives in; null once it is gone, so a controller
    // that completes afterwards is closed at once.
    void setHost(HWND host) { host_ = host; }

    // CreateCoreWebView2EnvironmentWithOptions with the profile folder; false
    // when the runtime is missing or the call itself fails.
    bool createEnvironment(const std::string& profileFolder);
    // CreateCoreWebView2Controller for the host; false without an
    // environment or host, or when the call fails.
    bool createController();
    // The web view, background colour, browser settings, the web-message and
    // navigation-completed handlers, the bounds and the page.
    void startPage();
    bool hasWebView() const { return webView_ != nullptr; }
    void executeScript(const std::string& script);
    // Browser bounds = the host's client rectangle.
    void updateBounds();
    // Closes the controller and releases the three interfaces.
    void close();

private:
    HRESULT environmentCompleted(HRESULT result, wv2::Environment* environment);
    HRESULT controllerCompleted(HRESULT result, wv2::Controller* controller);
    HRESULT webMessageReceived(wv2::WebMessageReceivedEventArgs* args);
    void applySettings();
    // Closes the controller and lets go of the controller and the web view.
    void closeView();

    Win32BrowserRuntime& runtime_;
    Listener& listener_;
    COLORREF background_;
    std::u16string_view (*page_)();
    HWND host_ = nullptr;
    wv2::Environment* environment_ = nullptr;
    wv2::Controller* controller_ = nullptr;
    wv2::WebView* webView_ = nullptr;
    // Handlers hold this, so a completion that arrives after the view is
    // gone does nothing.
    wv2::Owner<Win32BrowserView> owner_{this};
};

// The web panels' window look: dark title parts, rounded corners, a quiet
// border and the transient (acrylic) backdrop on Windows 11. Older systems
// ignore what they do not know.
void applyPanelLook(HWND window);
// The program's icon (resource 101) at the size of the metric
// (SM_CXICON or SM_CXSMICON).
HICON loadPanelIcon(HINSTANCE instance, int sizeMetric);
// The environment variable LOCALAPPDATA; empty when it is unset or does not
// fit 260 characters.
std::string localAppDataFolder();

} // namespace qv
