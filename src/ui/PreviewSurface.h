#pragma once
#include "base/WindowHandle.h"
#include "ui/ClassicControls.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qv {

class PreviewWindow;

// The preview window as Windows creates it.
struct PreviewWindowClass {
    std::string className;
    std::string title; // the first caption
    uint32_t style = 0;
    int32_t width = 0; // the window's outer size in pixels
    int32_t height = 0;
    int iconResource = 0; // the class's large and small icon
};

// The owner-drawn close button and its font.
struct PreviewCloseButton {
    std::string caption;
    uint32_t id = 0;
    int32_t fontHeight = 0; // a LOGFONT height: negative is the character height in pixels
    int32_t fontWeight = 0;
};

// A child window's place in client pixels.
struct PreviewButtonPlace {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;

    friend bool operator==(const PreviewButtonPlace&, const PreviewButtonPlace&) = default;
};

// A preview window as the portable PreviewWindow drives it. The Win32
// implementation owns the HWND, its close button, font and brush, and
// forwards size, close, destroy, key, command, context-menu and its private
// caption message to the attached PreviewWindow, which decides what they
// mean. Everything runs on the user-interface thread except
// postCaptionChange, which the render thread calls.
class PreviewSurface {
public:
    virtual ~PreviewSurface() = default;

    // The window that messages go to; null detaches it.
    virtual void attach(PreviewWindow* window) = 0;
    // Registers the class (double clicks, arrow cursor, black background, the
    // icon at large and small size; an existing class is fine), creates the
    // hidden window at the default position with the dark frame. False when
    // CreateWindowEx fails.
    virtual bool create(const PreviewWindowClass& windowClass) = 0;
    virtual bool exists() const = 0;
    virtual WindowHandle handle() const = 0;
    // GetDpiForWindow; 0 when unknown.
    virtual uint32_t dpi() const = 0;
    virtual int32_t clientWidth() const = 0;
    // Makes the font (the body face) and the owner-drawn button with it.
    virtual void createCloseButton(const PreviewCloseButton& button) = 0;
    // Moves the close button without activating it; nothing before it exists.
    virtual void placeCloseButton(const PreviewButtonPlace& place) = 0;
    virtual void show() = 0;
    // DestroyWindow; the window reports its destruction
    // (PreviewWindow::onDestroyed) before this returns.
    virtual void destroy() = 0;
    virtual void setCaption(const std::string& text) = 0;
    // Any thread, never waits: posts the window a message that makes it call
    // PreviewWindow::onCaptionPosted on the user-interface thread.
    virtual void postCaptionChange() = 0;
    // Into or out of the topmost band, without activating, moving or sizing.
    virtual void setTopmost(bool topmost) = 0;
    // Adds or removes the caption, system menu, thick frame and the minimise
    // and maximise boxes, and has the frame redrawn.
    virtual void setFramed(bool framed) = 0;
    // Posts WM_CLOSE to the window.
    virtual void postClose() = 0;
    // Brings the window to the foreground and shows the menu at the mouse
    // position; the chosen command, 0 for none.
    virtual uint32_t trackMenu(const std::vector<MenuEntry>& entries) = 0;
};

} // namespace qv
