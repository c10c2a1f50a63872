#pragma once
#include "web/FlyoutWindow.h"
#include "web/win32/Win32PanelWindow.h"

#include <windows.h>

#include <cstdint>

namespace qv {

class GlassFlyoutPanel;
class Win32BrowserRuntime;

// The web flyout's popup window and the WebView2 browser inside it. Window
// messages and the browser's completions and events go to the attached
// panel, which decides what they mean; this class only carries out its calls.
class Win32FlyoutWindow final : public Win32PanelWindow<FlyoutWindow, GlassFlyoutPanel> {
public:
    static constexpr const wchar_t* kClassName = L"QuorvaneGlassFlyout";
    static constexpr UINT kTaskMessage = WM_APP + 21;
    static constexpr COLORREF kBackground = RGB(18, 20, 26);

    Win32FlyoutWindow(uint64_t instance, Win32BrowserRuntime& runtime);
    ~Win32FlyoutWindow() override;
    Win32FlyoutWindow(const Win32FlyoutWindow&) = delete;
    Win32FlyoutWindow& operator=(const Win32FlyoutWindow&) = delete;

    bool create(const ScreenRect& rect) override;
    bool exists() const override { return hwnd_ != nullptr; }
    void destroy() override;
    bool isVisible() const override;
    void showAt(const ScreenRect& rect) override;
    void hide() override;
    void setLevelTimer() override;
    void killLevelTimer() override;
    void postTaskMessage() override;
    void quit(int exitCode) override;
    uint32_t systemDpi() const override;
    uint32_t windowDpi() const override;
    std::optional<ScreenRect> workAreaNear(ScreenPoint point) const override;

    // The window, for tests and for the window procedure.
    HWND hwnd() const { return hwnd_; }

private:
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    bool registerClass();

    HINSTANCE instance_;
    HWND hwnd_ = nullptr;
};

} // namespace qv
