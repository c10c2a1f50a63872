#pragma once
#include "ui/PreviewSurface.h"

#include <windows.h>

#include <atomic>
#include <cstdint>

namespace qv {

// A preview window in Win32: a resizable captioned window on a black
// background with an owner-drawn close button in its top right corner. Size,
// close, destroy, key, command and context-menu messages go to the attached
// PreviewWindow, which decides what they mean; so does kCaptionMessage,
// which the render thread posts when it has a new caption. Outlives the
// PreviewWindow attached to it.
class Win32PreviewSurface final : public PreviewSurface {
public:
    // Posted to the window, never sent: the caption is waiting in the
    // PreviewWindow.
    static constexpr UINT kCaptionMessage = WM_APP + 41;

    explicit Win32PreviewSurface(uint64_t instance);
    ~Win32PreviewSurface() override;
    Win32PreviewSurface(const Win32PreviewSurface&) = delete;
    Win32PreviewSurface& operator=(const Win32PreviewSurface&) = delete;

    void attach(PreviewWindow* window) override { window_ = window; }
    bool create(const PreviewWindowClass& windowClass) override;
    bool exists() const override { return hwnd() != nullptr; }
    WindowHandle handle() const override;
    uint32_t dpi() const override;
    int32_t clientWidth() const override;
    void createCloseButton(const PreviewCloseButton& button) override;
    void placeCloseButton(const PreviewButtonPlace& place) override;
    void show() override;
    void destroy() override;
    void setCaption(const std::string& text) override;
    void postCaptionChange() override;
    void setTopmost(bool topmost) override;
    void setFramed(bool framed) override;
    void postClose() override;
    uint32_t trackMenu(const std::vector<MenuEntry>& entries) override;

    HWND hwnd() const { return hwnd_.load(); }

private:
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void drawButton(const DRAWITEMSTRUCT& item);

    HINSTANCE instance_;
    PreviewWindow* window_ = nullptr;
    // Read by the render thread when it posts the caption message.
    std::atomic<HWND> hwnd_{nullptr};
    HWND closeButton_ = nullptr;
    HFONT font_ = nullptr;
};

} // namespace qv
