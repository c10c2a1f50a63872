#pragma once
#include "display/RefreshRate.h"
#include "ui/ArrangementSurface.h"
#include "ui/ClassicControls.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qv {

class ActionBus;

// One active display in the arrangement window.
struct ArrangementItem {
    std::string key;
    std::string name; // as the bus's display list gives it, user name applied
    // The display's rectangle in desktop coordinates; moved by dragging.
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    bool primary = false;
    // The display's current mode, unchanged in this window.
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t refreshHz = 0;
    RefreshRate refreshRate;  // exact, so 59.94 Hz stays 59.94 Hz
    uint32_t orientation = 0;
};

// The arrangement window: scaled tiles of the active displays that the user
// drags to new desktop positions (snapping to the other displays' edges),
// one of which can be marked primary, applied as one ApplyArrangement
// action. The tray controller owns one instance and opens it on request;
// opening it again while it is open reloads it and brings it to the front.
//
// This class holds the decisions: what is loaded, the view's fit, hit
// testing, the drag and its snapping, what each button does, the layout and
// what is painted. ArrangementSurface carries them out. User-interface
// thread only.
class ArrangementWindow {
public:
    static constexpr const char* kWindowClass = "QuorvaneArrange";
    static constexpr const char* kWindowTitle = "Quorvane \xE2\x80\x94 Arrange displays";
    // winuser.h values, learn.microsoft.com "Extended Window Styles" and "Window Styles".
    static constexpr uint32_t kWsExDlgModalFrame = 0x00000001;
    static constexpr uint32_t kWsCaption = 0x00C00000;
    static constexpr uint32_t kWsSysMenu = 0x00080000;
    static constexpr int kIconResource = 101;

    // Button ids.
    static constexpr uint32_t kSetPrimary = 2001;
    static constexpr uint32_t kApply = 2002;
    static constexpr uint32_t kRevert = 2003;
    static constexpr uint32_t kClose = 2004;
    // Button notifications that count as a click: BN_CLICKED and, from an
    // owner-drawn button clicked twice quickly, BN_DOUBLECLICKED. winuser.h
    // values, learn.microsoft.com "BN_CLICKED notification code" and
    // "BN_DOUBLECLICKED notification code".
    static constexpr uint32_t kBnClicked = 0;
    static constexpr uint32_t kBnDoubleClicked = 5;

    // Lengths in device-independent pixels.
    static constexpr int32_t kClientWidth = 600;
    static constexpr int32_t kClientHeight = 440;
    static constexpr DipRect kCanvas{16, 58, 600 - 16, 58 + 300};

    ArrangementWindow(ArrangementSurface& surface, ActionBus& bus);
    // Destroys the window, if it exists.
    ~ArrangementWindow();
    ArrangementWindow(const ArrangementWindow&) = delete;
    ArrangementWindow& operator=(const ArrangementWindow&) = delete;

    // Creates and shows the window, or, when it exists, reloads the displays
    // and brings it to the front. False, with the failure logged, when the
    // window cannot be created.
    bool open();
    bool isOpen() const { return surface_.exists(); }

    // --- Reported by the window ---------------------------------------------
    // Left button down, mouse move and left button up, in client pixels.
    void onMouseDown(int32_t x, int32_t y);
    void onMouseMove(int32_t x, int32_t y);
    void onMouseUp();
    // The mouse capture went to another window: the drag ends where it is.
    void onCaptureLost();
    // WM_COMMAND from a button: its id and notification code.
    void onCommand(uint32_t id, uint32_t notification = kBnClicked);
    // The close box.
    void onClose();
    // The window moved to a monitor of another DPI.
    void onDpiChanged(uint32_t dpi);
    // WM_DESTROY: the window is gone.
    void onDestroyed();

    // --- What the window shows ----------------------------------------------
    const std::vector<ArrangementItem>& items() const { return items_; }
    int selected() const { return selected_; }
    int dragged() const { return dragged_; }
    uint32_t dpi() const { return dpi_; }
    double scale() const { return scale_; }
    // The four buttons.
    static std::vector<ClassicControl> controls();
    ArrangementLayout layout() const;
    // The canvas in client pixels at the window's DPI.
    PixelRect canvas() const;
    // A desktop point in client pixels, and an item's tile.
    int32_t mapX(int32_t desktopX) const;
    int32_t mapY(int32_t desktopY) const;
    PixelRect tileRect(const ArrangementItem& item) const;
    // The item under a client point: the last one drawn there; -1 for none.
    int hitTest(int32_t x, int32_t y) const;
    ArrangementScene scene() const;
    ArrangementButtonLook buttonLook(uint32_t id, bool pressed, bool enabled) const;

    // Where a dragged item whose top-left corner the mouse has taken to
    // (left, top) goes: its edges snap to the other items' edges within the
    // tolerance (desktop pixels), each other item in list order, so a later
    // one overrides an earlier one.
    static void snap(const std::vector<ArrangementItem>& items, int dragged, int32_t tolerance, int32_t& left,
                     int32_t& top);

private:
    void load();
    void fit();
    void endDrag();
    void setPrimary();
    void apply();
    void revert();

    ArrangementSurface& surface_;
    ActionBus& bus_;
    std::vector<ArrangementItem> items_;
    int selected_ = -1;
    int dragged_ = -1;
    int32_t dragMouseX_ = 0;
    int32_t dragMouseY_ = 0;
    ArrangementItem dragStart_;
    // The view: desktop coordinates to client pixels.
    double scale_ = 1.0;
    double centreX_ = 0.0;
    double centreY_ = 0.0;
    int32_t canvasCentreX_ = 0;
    int32_t canvasCentreY_ = 0;
    uint32_t dpi_ = 96;
};

} // namespace qv
