#pragma once
#include "web/SettingsPageWindow.h"
#include "web/win32/Win32PanelWindow.h"

#include <windows.h>

#include <cstdint>

namespace qv {

class GlassSettingsWindow;
class Win32BrowserRuntime;

// The web settings window and the WebView2 browser inside it. Window
// messages and the browser's completions and events go to the attached
// settings window, which decides what they mean; this class only carries out
// its calls. Closed windows are destroyed, not hidden.
class Win32SettingsPageWindow final : public Win32PanelWindow<SettingsPageWindow, GlassSettingsWindow> {
public:
    static constexpr const wchar_t* kClassName = L"QuorvaneGlassSettings";
    static constexpr COLORREF kBackground = RGB(20, 22, 28);

    explicit Win32SettingsPageWindow(Win32BrowserRuntime& runtime);
    ~Win32SettingsPageWindow() override;
    Win32SettingsPageWindow(const Win32SettingsPageWindow&) = delete;
    Win32SettingsPageWindow& operator=(const Win32SettingsPageWindow&) = delete;

    bool create(uint64_t instance, const ScreenRect& rect) override;
    bool exists() const override { return hwnd_ != nullptr; }
    void destroy() override;
    void postClose() override;
    void show() override;
    ScreenPoint cursor() const override;
    uint32_t windowDpi() const override;
    std::optional<ScreenRect> workAreaNear(ScreenPoint point) const override;
    std::optional<ScreenRect> workAreaOfWindow() const override;
    ScreenRect windowRect() const override;
    int32_t frameHeight() const override;
    void move(const ScreenRect& rect) override;
    void openFolder(const std::string& path) override;

    // The window, for tests and for the window procedure.
    HWND hwnd() const { return hwnd_; }

private:
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;
};

} // namespace qv
