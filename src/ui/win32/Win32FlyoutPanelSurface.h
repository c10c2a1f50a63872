#pragma once
#include "ui/FlyoutPanelSurface.h"

#include <windows.h>

#include <cstdint>
#include <map>

namespace qv {

// The classic flyout's popup: owner-drawn buttons in the six styles, labels,
// the mini-map, the accent bar and separators, painted from what the
// attached panel describes. Clicks are handed to the panel after the
// button's own notification has returned, because the panel rebuilds (and
// so destroys) its buttons on most commands.
class Win32FlyoutPanelSurface final : public FlyoutPanelSurface {
public:
    static constexpr const wchar_t* kClassName = L"QuorvaneFlyout";
    // Carries a clicked control's id to the panel once the click is over.
    static constexpr UINT kCommandMessage = WM_APP + 31;

    explicit Win32FlyoutPanelSurface(uint64_t instance);
    ~Win32FlyoutPanelSurface() override;
    Win32FlyoutPanelSurface(const Win32FlyoutPanelSurface&) = delete;
    Win32FlyoutPanelSurface& operator=(const Win32FlyoutPanelSurface&) = delete;

    void attach(FlyoutPanel* panel) override { panel_ = panel; }
    bool create() override;
    bool isVisible() const override;
    WindowHandle handle() const override;
    uint32_t dpi() const override;
    void moveTo(ScreenPoint point) override;
    void setControls(const std::vector<ClassicControl>& controls) override;
    ScreenRect windowRect() const override;
    void setWindowRect(const ScreenRect& rect) override;
    void showAt(const ScreenRect& rect) override;
    void hide() override;
    void redraw() override;
    std::optional<ScreenRect> workAreaNear(ScreenPoint point) const override;
    uint32_t trackMenu(const std::vector<MenuEntry>& entries) override;
    void quit() override;

    HWND hwnd() const { return hwnd_; }

private:
    static LRESULT CALLBACK childProc(HWND child, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                      DWORD_PTR self);
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void makeFonts();
    void freeFonts();
    void paint(HDC dc);
    void drawItem(const DRAWITEMSTRUCT& item);
    void drawMiniMap(const DRAWITEMSTRUCT& item);

    HINSTANCE instance_;
    FlyoutPanel* panel_ = nullptr;
    HWND hwnd_ = nullptr;
    HFONT body_ = nullptr;
    HFONT title_ = nullptr;
    uint32_t fontDpi_ = 0;
    HBRUSH background_ = nullptr;
    std::map<uint32_t, ClassicControl> controls_;
};

} // namespace qv
