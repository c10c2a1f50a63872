#pragma once
#include "ui/SettingsSurface.h"

#include <windows.h>

#include <cstdint>

namespace qv {

// The classic settings window in Win32: a dialog-framed top-level window
// with the controls it is given, owner-drawn buttons and the dark colours.
// Commands and the close box go to the attached SettingsWindow; when the
// window is destroyed the surface forgets it and lets go of its fonts and
// brush.
class Win32SettingsSurface final : public SettingsSurface {
public:
    static constexpr const wchar_t* kClassName = L"QuorvaneSettings";
    static constexpr const wchar_t* kTitle = L"Quorvane \x2014 Settings";
    static constexpr DWORD kStyle = WS_CAPTION | WS_SYSMENU;
    static constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME;

    Win32SettingsSurface() = default;
    ~Win32SettingsSurface() override;
    Win32SettingsSurface(const Win32SettingsSurface&) = delete;
    Win32SettingsSurface& operator=(const Win32SettingsSurface&) = delete;

    void attach(SettingsWindow* window) override { window_ = window; }
    bool create(uint64_t instance) override;
    bool exists() const override { return hwnd_ != nullptr; }
    void destroy() override;
    uint32_t dpi() const override;
    void build(const std::vector<ClassicControl>& controls, uint32_t dpi) override;
    ScreenRect frameFor(int32_t clientWidth, int32_t clientHeight, uint32_t dpi) const override;
    ScreenPoint cursor() const override;
    std::optional<ScreenRect> workAreaAt(ScreenPoint point) const override;
    void move(const ScreenRect& rect) override;
    void show() override;
    bool isChecked(uint32_t id) const override;
    void setChecked(uint32_t id, bool checked) override;
    int32_t selection(uint32_t id) const override;
    void openFolder(const std::string& path) override;

    // The window, for tests.
    HWND hwnd() const { return hwnd_; }

private:
    // hwnd: the window the message is for; hwnd_ is already null from WM_DESTROY on.
    LRESULT handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void drawButton(const DRAWITEMSTRUCT& item);
    void releaseResources();

    SettingsWindow* window_ = nullptr;
    HINSTANCE instance_ = nullptr;
    HWND hwnd_ = nullptr;
    HFONT bodyFont_ = nullptr;
    HFONT titleFont_ = nullptr;
    HBRUSH backgroundBrush_ = nullptr;
};

} // namespace qv
