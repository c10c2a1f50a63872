#include "ui/ArrangementWindow.h"

#include "actions/ActionBus.h"
#include "base/Dpi.h"
#include "base/Log.h"
#include "base/StrPrintf.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>

namespace qv {

namespace {

constexpr int32_t kButtonHeight = 30;
constexpr int32_t kButtonGap = 14;    // between the canvas and the buttons
constexpr int32_t kTileCorner = 8;
constexpr int32_t kTextLine = 16;     // height of each of a tile's two lines
constexpr int32_t kButtonCorner = 9;  // pixels, at every DPI
// The share of the limiting canvas side that the desktop fills.
constexpr double kFill = 0.86;
// Snapping reaches this many screen pixels, give or take one desktop pixel.
constexpr double kSnapReach = 12.0;

int32_t saturate(int64_t value) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

// Rounds toward zero; values beyond the 32-bit range stop at its ends.
int32_t truncated(double value) {
    if (std::isnan(value)) return 0;
    if (value >= static_cast<double>(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
    if (value <= static_cast<double>(std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

int64_t distance(int64_t a, int64_t b) { return a > b ? a - b : b - a; }

} // namespace

ArrangementWindow::ArrangementWindow(ArrangementSurface& surface, ActionBus& bus) : surface_(surface), bus_(bus) {
    surface_.attach(this);
}

ArrangementWindow::~ArrangementWindow() {
    if (surface_.exists()) surface_.destroy();
    surface_.attach(nullptr);
}

bool ArrangementWindow::open() {
    if (!surface_.exists()) {
        const ArrangementWindowClass windowClass{kWindowClass, kWindowTitle, kWsExDlgModalFrame,
                                                 kWsCaption | kWsSysMenu, kIconResource};
        if (!surface_.create(windowClass)) {
            log::write(log::Error, "ArrangementWindow: CreateWindowEx failed");
            return false;
        }
        const uint32_t dpi = surface_.dpi();
        dpi_ = dpi != 0 ? dpi : 96;
        surface_.layout(layout());
    }
    load();
    fit();
    surface_.invalidate();
    surface_.show();
    return true;
}

void ArrangementWindow::load() {
    // Whatever was being dragged belongs to the list being replaced.
    endDrag();
    items_.clear();
    for (const DisplayInfo& display : bus_.displays()) {
        if (!display.active) continue;
        ArrangementItem item;
        item.key = display.key;
        item.name = display.name;
        item.left = display.posX;
        item.top = display.posY;
        item.right = saturate(int64_t{display.posX} + display.width);
        item.bottom = saturate(int64_t{display.posY} + display.height);
        item.primary = display.primary;
        item.width = display.width;
        item.height = display.height;
        item.refreshHz = display.refreshHz;
        item.refreshRate = display.refreshRate;
        item.orientation = display.orientation;
        items_.push_back(std::move(item));
    }
    selected_ = -1;
}

void ArrangementWindow::fit() {
    const PixelRect area = canvas();
    canvasCentreX_ = area.left + area.width() / 2;
    canvasCentreY_ = area.top + area.height() / 2;
    if (items_.empty()) {
        scale_ = 1.0;
        centreX_ = 0.0;
        centreY_ = 0.0;
        return;
    }
    int64_t minLeft = items_.front().left;
    int64_t minTop = items_.front().top;
    int64_t maxRight = items_.front().right;
    int64_t maxBottom = items_.front().bottom;
    for (const ArrangementItem& item : items_) {
        minLeft = std::min<int64_t>(minLeft, item.left);
        minTop = std::min<int64_t>(minTop, item.top);
        maxRight = std::max<int64_t>(maxRight, item.right);
        maxBottom = std::max<int64_t>(maxBottom, item.bottom);
    }
    int64_t extentWidth = maxRight - minLeft;
    int64_t extentHeight = maxBottom - minTop;
    if (extentWidth < 2) extentWidth = 1;
    if (extentHeight < 2) extentHeight = 1;
    scale_ = std::min(area.height() * kFill / static_cast<double>(extentHeight),
                      area.width() * kFill / static_cast<double>(extentWidth));
    // Dragging divides by the scale.
    if (!(scale_ > 0.0)) scale_ = 1.0;
    centreX_ = static_cast<double>(minLeft + maxRight) * 0.5;
    centreY_ = static_cast<double>(minTop + maxBottom) * 0.5;
}

PixelRect ArrangementWindow::canvas() const {
    return PixelRect{dpiScale(kCanvas.left, dpi_), dpiScale(kCanvas.top, dpi_), dpiScale(kCanvas.right, dpi_),
                     dpiScale(kCanvas.bottom, dpi_)};
}

int32_t ArrangementWindow::mapX(int32_t desktopX) const {
    return saturate(int64_t{canvasCentreX_} + truncated((desktopX - centreX_) * scale_));
}

int32_t ArrangementWindow::mapY(int32_t desktopY) const {
    return saturate(int64_t{canvasCentreY_} + truncated((desktopY - centreY_) * scale_));
}

PixelRect ArrangementWindow::tileRect(const ArrangementItem& item) const {
    return PixelRect{mapX(item.left), mapY(item.top), mapX(item.right), mapY(item.bottom)};
}

int ArrangementWindow::hitTest(int32_t x, int32_t y) const {
    for (size_t i = items_.size(); i-- > 0;)
        if (tileRect(items_[i]).contains(x, y)) return static_cast<int>(i);
    return -1;
}

void ArrangementWindow::onMouseDown(int32_t x, int32_t y) {
    const int hit = hitTest(x, y);
    if (hit < 0) {
        selected_ = -1;
        surface_.invalidate();
        return;
    }
    selected_ = hit;
    dragged_ = hit;
    dragMouseX_ = x;
    dragMouseY_ = y;
    dragStart_ = items_[static_cast<size_t>(hit)];
    surface_.captureMouse();
    surface_.invalidate();
}

void ArrangementWindow::onMouseMove(int32_t x, int32_t y) {
    if (dragged_ < 0 || static_cast<size_t>(dragged_) >= items_.size()) return;
    int32_t left = saturate(int64_t{dragStart_.left} + truncated((int64_t{x} - dragMouseX_) / scale_));
    int32_t top = saturate(int64_t{dragStart_.top} + truncated((int64_t{y} - dragMouseY_) / scale_));
    const int32_t tolerance = saturate(int64_t{1} + truncated(kSnapReach / scale_));
    snap(items_, dragged_, tolerance, left, top);
    // However far the mouse goes, the display keeps its size.
    const int64_t width = int64_t{dragStart_.right} - dragStart_.left;
    const int64_t height = int64_t{dragStart_.bottom} - dragStart_.top;
    ArrangementItem& item = items_[static_cast<size_t>(dragged_)];
    item.left = saturate(std::min<int64_t>(left, std::numeric_limits<int32_t>::max() - width));
    item.top = saturate(std::min<int64_t>(top, std::numeric_limits<int32_t>::max() - height));
    item.right = saturate(int64_t{item.left} + width);
    item.bottom = saturate(int64_t{item.top} + height);
    surface_.invalidate();
}

void ArrangementWindow::snap(const std::vector<ArrangementItem>& items, int dragged, int32_t tolerance,
                             int32_t& left, int32_t& top) {
    if (dragged < 0 || static_cast<size_t>(dragged) >= items.size()) return;
    const ArrangementItem& moving = items[static_cast<size_t>(dragged)];
    const int64_t width = int64_t{moving.right} - moving.left;
    const int64_t height = int64_t{moving.bottom} - moving.top;
    int64_t x = left;
    int64_t y = top;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i == static_cast<size_t>(dragged)) continue;
        const ArrangementItem& other = items[i];
        if (distance(x, other.right) < tolerance) {
            x = other.right;
        } else if (distance(x + width, other.left) < tolerance) {
            x = other.left - width;
        } else if (distance(x, other.left) < tolerance) {
            x = other.left;
        }
        if (distance(y, other.bottom) < tolerance) {
            y = other.bottom;
        } else if (distance(y + height, other.top) < tolerance) {
            y = other.top - height;
        } else if (distance(y, other.top) < tolerance) {
            y = other.top;
        }
    }
    left = saturate(x);
    top = saturate(y);
}

void ArrangementWindow::onMouseUp() { endDrag(); }

void ArrangementWindow::onCaptureLost() { dragged_ = -1; }

void ArrangementWindow::endDrag() {
    if (dragged_ < 0) return;
    dragged_ = -1;
    surface_.releaseMouse();
}

void ArrangementWindow::onCommand(uint32_t id, uint32_t notification) {
    if (notification != kBnClicked && notification != kBnDoubleClicked) return;
    switch (id) {
    case kSetPrimary:
        setPrimary();
        break;
    case kApply:
        apply();
        break;
    case kRevert:
        revert();
        break;
    case kClose:
        surface_.destroy();
        break;
    default:
        break;
    }
}

void ArrangementWindow::setPrimary() {
    if (selected_ < 0 || static_cast<size_t>(selected_) >= items_.size()) return;
    for (ArrangementItem& item : items_) item.primary = false;
    items_[static_cast<size_t>(selected_)].primary = true;
    surface_.invalidate();
}

void ArrangementWindow::apply() {
    Action action;
    action.kind = ActionKind::ApplyArrangement;
    for (const ArrangementItem& item : items_)
        action.placements.push_back(DisplayPlacement{item.key, item.left, item.top, item.width, item.height,
                                                     item.refreshHz, item.orientation, item.primary,
                                                     item.refreshRate, std::nullopt});
    // The bus reports the outcome; the window shows the desktop as it now is.
    bus_.dispatch(action);
    revert();
}

void ArrangementWindow::revert() {
    load();
    fit();
    surface_.invalidate();
}

void ArrangementWindow::onClose() { surface_.destroy(); }

void ArrangementWindow::onDpiChanged(uint32_t dpi) {
    endDrag();
    dpi_ = dpi != 0 ? dpi : 96;
    surface_.layout(layout());
    fit();
    surface_.invalidate();
}

void ArrangementWindow::onDestroyed() {
    // Destroying the window has released the capture.
    dragged_ = -1;
    selected_ = -1;
}

std::vector<ClassicControl> ArrangementWindow::controls() {
    const int32_t top = kCanvas.bottom + kButtonGap;
    const int32_t bottom = top + kButtonHeight;
    const auto button = [&](uint32_t id, int32_t left, int32_t width, const char* caption) {
        ClassicControl control;
        control.id = id;
        control.kind = ControlKind::Button;
        control.rect = DipRect{left, top, left + width, bottom};
        control.caption = caption;
        return control;
    };
    return {
        button(kSetPrimary, 16, 130, "Set as primary"),
        button(kApply, kCanvas.right - 280, 86, "Apply"),
        button(kRevert, kCanvas.right - 188, 86, "Revert"),
        button(kClose, kCanvas.right - 90, 90, "Close"),
    };
}

ArrangementLayout ArrangementWindow::layout() const {
    ArrangementLayout out;
    out.dpi = dpi_;
    out.clientWidth = dpiScale(kClientWidth, dpi_);
    out.clientHeight = dpiScale(kClientHeight, dpi_);
    out.body = ArrangementFont{FontRole::Body, -dpiScale(14, dpi_), 400};
    out.title = ArrangementFont{FontRole::Title, -dpiScale(17, dpi_), 600};
    out.controls = controls();
    return out;
}

ArrangementScene ArrangementWindow::scene() const {
    const auto px = [&](int32_t dip) { return dpiScale(dip, dpi_); };
    ArrangementScene scene;
    scene.client = PixelRect{0, 0, px(kClientWidth), px(kClientHeight)};
    scene.background = look::kBackground;
    scene.title = ArrangementText{"Arrange displays", PixelRect{px(16), px(12), px(kClientWidth - 16), px(34)},
                                  look::kText, FontRole::Title, false};
    scene.subtitle = ArrangementText{"Drag a display to reposition it, then Apply.",
                                     PixelRect{px(16), px(34), px(kClientWidth - 16), px(54)}, look::kMuted,
                                     FontRole::Body, false};
    for (size_t i = 0; i < items_.size(); ++i) {
        const ArrangementItem& item = items_[i];
        const bool isSelected = static_cast<int>(i) == selected_;
        ArrangementTile tile;
        tile.rect = tileRect(item);
        tile.corner = px(kTileCorner);
        tile.fill = item.primary ? look::kAccent : look::kPanel;
        tile.outline = isSelected ? look::kAccent : look::kLine;
        tile.outlineWidth = px(isSelected ? 2 : 1);
        const uint32_t color = item.primary ? look::kOnAccent : look::kText;
        const int64_t mid = (int64_t{tile.rect.top} + tile.rect.bottom) / 2;
        const int64_t line = px(kTextLine);
        tile.name = ArrangementText{item.name,
                                    PixelRect{tile.rect.left, saturate(mid - line), tile.rect.right, saturate(mid)},
                                    color, FontRole::Body, true};
        tile.mode = ArrangementText{strprintf("%ux%u%s", item.width, item.height, item.primary ? "  \xE2\x98\x85" : ""),
                                    PixelRect{tile.rect.left, saturate(mid), tile.rect.right, saturate(mid + line)},
                                    color, FontRole::Body, true};
        scene.tiles.push_back(std::move(tile));
    }
    return scene;
}

ArrangementButtonLook ArrangementWindow::buttonLook(uint32_t id, bool pressed, bool enabled) const {
    const std::vector<ClassicControl> all = controls();
    const ClassicControl* control = findControl(all, id);
    ArrangementButtonLook button;
    button.caption = control != nullptr ? control->caption : std::string();
    button.paint = ButtonPaint{pressed ? look::kPressed : look::kPanel, look::kLine,
                               enabled ? look::kText : look::kMuted, false};
    button.corner = kButtonCorner;
    return button;
}

} // namespace qv
