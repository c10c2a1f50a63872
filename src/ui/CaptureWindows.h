#pragma once
#include "windows/WindowSystem.h"

#include <cstdint>
#include <memory>
#include <string>

namespace qv {

// A live preview window as the controller sees it.
class LivePreview {
public:
    virtual ~LivePreview() = default;
    // True once the window has been destroyed (by the user or by close()).
    virtual bool isClosed() const = 0;
    // Stops the render thread and destroys the window.
    virtual void close() = 0;
};

// Opens preview windows.
class PreviewWindows {
public:
    virtual ~PreviewWindows() = default;
    // Creates a shown window titled with the display's name that previews the
    // display with that GDI name; null (logged) when the window cannot be
    // created.
    virtual std::unique_ptr<LivePreview> open(uint64_t instance, const std::string& title,
                                              const std::string& gdiName) = 0;
};

// Lets the user drag a rectangle on one display, modally.
class RegionPicker {
public:
    virtual ~RegionPicker() = default;
    // bounds: the display in virtual-desktop pixels. True with the chosen
    // rectangle in virtual-desktop pixels; false when cancelled or failed.
    virtual bool pick(uint64_t instance, const ScreenRect& bounds, ScreenRect& result) = 0;
};

} // namespace qv
