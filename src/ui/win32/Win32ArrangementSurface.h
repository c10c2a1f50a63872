#pragma once
#include "ui/ArrangementSurface.h"

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>

namespace qv {

// The arrangement window in Win32: a captioned window with four owner-drawn
// buttons whose client area is painted double-buffered from the attached
// ArrangementWindow's scene. Mouse, button, close, destroy and DPI messages
// go to that window, which decides what they mean. Outlives the
// ArrangementWindow attached to it.
class Win32ArrangementSurface final : public ArrangementSurface {
public:
    explicit Win32ArrangementSurface(uint64_t instance);
    ~Win32ArrangementSurface() override;
    Win32ArrangementSurface(const Win32ArrangementSurface&) = delete;
    Win32ArrangementSurface& operator=(const Win32ArrangementSurface&) = delete;

    void attach(ArrangementWindow* window) override { window_ = window; }
    bool create(const ArrangementWindowClass& windowClass) override;
    bool exists() const override { return hwnd_ != nullptr; }
    void destroy() override;
    uint32_t dpi() const override;
    void layout(const ArrangementLayout& layout) override;
    void show() override;
    void invalidate() override;
    void captureMouse() override;
    void releaseMouse() override;

    // The window, for tests and for the window procedure.
    HWND hwnd() const { return hwnd_; }

private:
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    bool registerClass(const ArrangementWindowClass& windowClass);
    void paint();
    void drawItem(const DRAWITEMSTRUCT& item);
    HFONT font(FontRole role) const { return role == FontRole::Title ? titleFont_ : bodyFont_; }

    HINSTANCE instance_;
    ArrangementWindow* window_ = nullptr;
    HWND hwnd_ = nullptr;
    HFONT bodyFont_ = nullptr;
    HFONT titleFont_ = nullptr;
    HBRUSH background_ = nullptr;
    uint32_t dpi_ = 96;
    std::wstring bodyFace_;
    std::wstring titleFace_;
    std::map<uint32_t, HWND> buttons_;
};

} // namespace qv
