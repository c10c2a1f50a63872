#include "ui/FlyoutPanel.h"

#include "actions/Action.h"
#include "actions/ActionBus.h"
#include "base/Dpi.h"
#include "base/Log.h"
#include "base/StrPrintf.h"
#include "display/ModeChoices.h"
#include "ui/FlyoutPanelSurface.h"
#include "ui/TextPrompt.h"
#include "windows/WindowPlacement.h"

#include <algorithm>
#include <utility>

namespace qv {

namespace {

constexpr int32_t kInner = FlyoutPanel::kWidth - 2 * FlyoutPanel::kMargin;

// n rectangles of equal width side by side across the inner width, kGap
// apart; the last one takes what the division leaves over.
std::vector<DipRect> equalRow(int32_t y, int32_t n, int32_t height = FlyoutPanel::kButtonHeight) {
    std::vector<DipRect> cells;
    const int32_t width = (kInner - (n - 1) * FlyoutPanel::kGap) / n;
    for (int32_t i = 0; i < n; ++i) {
        const int32_t left = FlyoutPanel::kMargin + i * (width + FlyoutPanel::kGap);
        const int32_t right = i == n - 1 ? FlyoutPanel::kMargin + kInner : left + width;
        cells.push_back(DipRect{left, y, right, y + height});
    }
    return cells;
}

std::string sizeText(uint32_t width, uint32_t height) { return strprintf("%u \xC3\x97 %u", width, height); }

// A window title for a menu: at most 50 characters (longer ones cut to 49 and
// an ellipsis), "&" doubled so it is not read as a mnemonic, "(untitled)"
// for none. Characters are counted whole, never split.
std::string menuTitle(const std::string& title) {
    if (title.empty()) return "(untitled)";
    std::vector<std::string> characters;
    for (size_t i = 0; i < title.size();) {
        size_t length = 1;
        const auto lead = static_cast<unsigned char>(title[i]);
        if (lead >= 0xF0) length = 4;
        else if (lead >= 0xE0) length = 3;
        else if (lead >= 0xC0) length = 2;
        length = std::min(length, title.size() - i);
        characters.push_back(title.substr(i, length));
        i += length;
    }
    if (characters.size() > 50) {
        characters.resize(49);
        characters.push_back("\xE2\x80\xA6");
    }
    std::string text;
    for (const std::string& character : characters) text += character == "&" ? "&&" : character;
    return text;
}

const char* const kOrientations[] = {"Landscape", "Portrait", "Landscape (flipped)", "Portrait (flipped)"};

} // namespace

FlyoutPanel::FlyoutPanel(FlyoutPanelSurface& surface, TextPrompt* prompt) : surface_(surface), prompt_(prompt) {
    surface_.attach(this);
}

FlyoutPanel::~FlyoutPanel() { surface_.attach(nullptr); }

bool FlyoutPanel::create(ActionBus& bus) {
    bus_ = &bus;
    if (!surface_.create()) {
        log::write(log::Error, "FlyoutPanel: CreateWindowEx failed");
        return false;
    }
    return true;
}

void FlyoutPanel::setCallbacks(Callbacks callbacks, Config* config) {
    callbacks_ = std::move(callbacks);
    config_ = config;
}

void FlyoutPanel::showAt(ScreenPoint point) {
    if (!bus_) return;
    surface_.moveTo(point);
    if (selected_.empty()) {
        const std::vector<DisplayInfo> displays = bus_->displays();
        if (displays.size() == 1) {
            selected_ = displays.front().key;
        } else {
            for (const DisplayInfo& display : displays)
                if (display.primary) {
                    selected_ = display.key;
                    break;
                }
        }
    }
    rebuild();
    const uint32_t dpi = surface_.dpi();
    const int32_t width = dpiScale(kWidth, dpi);
    const int32_t height = dpiScale(height_, dpi);
    const ScreenRect work =
        surface_.workAreaNear(point).value_or(ScreenRect{point.x - width, point.y - height, point.x, point.y});
    surface_.showAt(placement(point, work, width, height));
}

ScreenRect FlyoutPanel::placement(ScreenPoint point, const ScreenRect& work, int32_t width, int32_t height) {
    int32_t x = point.x - work.left < width ? point.x : point.x - width;
    int32_t y = point.y - work.top < height ? point.y : point.y - height;
    x = std::min(std::max(x, work.left), work.right - width);
    y = std::min(std::max(y, work.top), work.bottom - height);
    return ScreenRect{x, y, x + width, y + height};
}

void FlyoutPanel::hide() { surface_.hide(); }

void FlyoutPanel::onDeactivate() { hide(); }

void FlyoutPanel::onEscape() { hide(); }

void FlyoutPanel::onDisplayChange() {
    if (surface_.isVisible()) rebuild();
}

void FlyoutPanel::onDpiChanged(const ScreenRect& suggested) {
    surface_.setWindowRect(suggested);
    rebuild();
}

bool FlyoutPanel::active(const std::function<bool(const std::string&)>& test, const std::string& key) const {
    return test && test(key);
}

void FlyoutPanel::addButton(uint32_t id, DipRect rect, std::string caption, ButtonStyle style, bool selected,
                            bool enabled) {
    ClassicControl control;
    control.id = id;
    control.kind = ControlKind::Button;
    control.rect = rect;
    control.caption = std::move(caption);
    control.style = style;
    control.selected = selected;
    control.enabled = enabled;
    controls_.push_back(std::move(control));
}

void FlyoutPanel::addRow(int32_t y, const std::vector<ClassicControl>& buttons) {
    const std::vector<DipRect> cells = equalRow(y, static_cast<int32_t>(buttons.size()));
    for (size_t i = 0; i < buttons.size(); ++i) {
        ClassicControl control = buttons[i];
        control.kind = ControlKind::Button;
        control.rect = cells[i];
        controls_.push_back(std::move(control));
    }
}

namespace {

ClassicControl button(uint32_t id, std::string caption, ButtonStyle style = ButtonStyle::Plain, bool selected = false,
                      bool enabled = true) {
    ClassicControl control;
    control.id = id;
    control.caption = std::move(caption);
    control.style = style;
    control.selected = selected;
    control.enabled = enabled;
    return control;
}

} // namespace

void FlyoutPanel::rebuild() {
    if (!bus_) return;
    layOut();
    surface_.setControls(controls_);
    resizeWindow();
    surface_.redraw();
}

void FlyoutPanel::layOut() {
    controls_.clear();
    keyById_.clear();
    scene_ = Scene{};
    displays_ = bus_->displays();
    if (!selected_.empty() && !selectedDisplay()) selected_.clear();

    ClassicControl title;
    title.id = kTitle;
    title.kind = ControlKind::Static;
    title.rect = DipRect{kMargin, 14, kMargin + kInner, 40};
    title.caption = "Quorvane";
    title.font = FontRole::Title;
    controls_.push_back(title);
    scene_.accentBar = DipRect{kMargin, 38, 48, 41};

    // The projection switch.
    const Projection projection = bus_->currentProjection();
    int32_t y = 48;
    addRow(y, {button(kInternal, "Internal", ButtonStyle::Toggle, projection == Projection::Internal),
               button(kMirror, "Mirror", ButtonStyle::Toggle, projection == Projection::Clone),
               button(kExtend, "Extend", ButtonStyle::Toggle, projection == Projection::Extend),
               button(kExternal, "External", ButtonStyle::Toggle, projection == Projection::External)});

    bool canHd = false;
    bool can4k = false;
    for (const DisplayInfo& display : displays_)
        for (const DisplayMode& mode : bus_->modes(display.key)) {
            canHd = canHd || (mode.width == 1920 && mode.height == 1080);
            can4k = can4k || (mode.width == 3840 && mode.height == 2160);
        }
    const std::vector<std::vector<ClassicControl>> rows = {
        {button(kPushNative, "Push Native", ButtonStyle::Accent), button(kPushMax, "Push Max", ButtonStyle::Accent)},
        {button(kPushHd, "HD \xC2\xB7 1920\xC3\x97" "1080", ButtonStyle::Plain, false, canHd),
         button(kPush4k, "4K \xC2\xB7 3840\xC3\x97" "2160", ButtonStyle::Plain, false, can4k)},
        {button(kFlip, "Flip Arrangement"), button(kLayouts, "Layouts")},
        {button(kMirrorTwo, "Mirror Two"), button(kArrange, "Arrange Displays")},
    };
    for (const auto& row : rows) {
        y += kButtonHeight + kGap;
        addRow(y, row);
    }
    y += kButtonHeight + 4;
    scene_.separators.push_back(y);
    y += 8;

    ClassicControl label;
    label.id = kSectionLabel;
    label.kind = ControlKind::Static;
    label.rect = DipRect{kMargin, y, kMargin + 120, y + 16};
    label.caption = "DISPLAYS";
    controls_.push_back(label);
    addButton(kRecordings, DipRect{kMargin + kInner - 96, y, kMargin + kInner, y + 22},
              "\xF0\x9F\x93\x81 Recordings", ButtonStyle::Quiet);
    y += 20;

    if (displays_.empty()) {
        ClassicControl none;
        none.id = kNoDisplays;
        none.kind = ControlKind::Static;
        none.rect = DipRect{kMargin, y, kMargin + kInner, y + 18};
        none.caption = "(no active displays detected)";
        controls_.push_back(none);
        y += 18;
    }
    for (size_t i = 0; i < displays_.size(); ++i) {
        const DisplayInfo& display = displays_[i];
        const auto index = static_cast<uint32_t>(i);
        const bool expanded = display.key == selected_;
        const bool recording = active(callbacks_.recordingActive, display.key);
        const bool sending = active(callbacks_.ndiActive, display.key);
        const std::string caption = rowCaption(display, expanded);
        int32_t x = kMargin;
        const auto place = [&](uint32_t id, int32_t width, std::string text, ButtonStyle style, bool selected,
                               bool enabled) {
            addButton(id, DipRect{x, y, x + width, y + kButtonHeight}, std::move(text), style, selected, enabled);
            keyById_[id] = display.key;
            x += width + kGap;
        };
        place(kRowBase + index, 159, caption, ButtonStyle::Row, expanded, true);
        place(kRecordBase + index, 34, recording ? "\xE2\x96\xA0" : "\xE2\x97\x8F",
              recording ? ButtonStyle::Danger : ButtonStyle::Plain, recording, true);
        place(kRegionBase + index, 34, "\xE2\xAC\x9A", ButtonStyle::Plain, false, !recording);
        place(kNdiBase + index, 42, "NDI", ButtonStyle::Toggle, sending, true);
        y += 35;
        if (expanded) y = addExpandedBlock(display, y);
    }

    y += 4;
    scene_.separators.push_back(y);
    y += 10;
    addRow(y, {button(kRefresh, "Refresh", ButtonStyle::Quiet), button(kSettings, "Settings", ButtonStyle::Quiet),
               button(kExit, "Exit", ButtonStyle::Danger)});
    height_ = y + kButtonHeight + kMargin;
}

int32_t FlyoutPanel::addExpandedBlock(const DisplayInfo& display, int32_t y) {
    // The mini-map: every display scaled to 90 % of the box and centred.
    scene_.miniMap = DipRect{kMargin, y, kMargin + kInner, y + 72};
    ClassicControl map;
    map.id = kMiniMap;
    map.kind = ControlKind::Custom;
    map.rect = scene_.miniMap;
    map.caption = "Display map";
    controls_.push_back(map);
    if (!displays_.empty()) {
        int32_t left = displays_.front().posX, top = displays_.front().posY;
        int64_t right = left, bottom = top;
        for (const DisplayInfo& d : displays_) {
            left = std::min(left, d.posX);
            top = std::min(top, d.posY);
            right = std::max<int64_t>(right, int64_t{d.posX} + d.width);
            bottom = std::max<int64_t>(bottom, int64_t{d.posY} + d.height);
        }
        const double extentW = std::max<double>(1.0, static_cast<double>(right - left));
        const double extentH = std::max<double>(1.0, static_cast<double>(bottom - top));
        const DipRect& box = scene_.miniMap;
        const double scale = std::min(box.width() * 0.9 / extentW, box.height() * 0.9 / extentH);
        const double offsetX = box.left + (box.width() - extentW * scale) / 2;
        const double offsetY = box.top + (box.height() - extentH * scale) / 2;
        for (const DisplayInfo& d : displays_) {
            const auto at = [](double v) { return static_cast<int32_t>(v + 0.5); };
            Scene::Tile tile;
            tile.rect = DipRect{at(offsetX + (d.posX - left) * scale), at(offsetY + (d.posY - top) * scale),
                                at(offsetX + (d.posX - left + double(d.width)) * scale),
                                at(offsetY + (d.posY - top + double(d.height)) * scale)};
            tile.selected = d.key == display.key;
            scene_.tiles.push_back(tile);
        }
    }
    y += 72 + kGap;

    addRow(y, {button(kResolution, strprintf("%u \xC3\x97 %u  \xE2\x96\xBE", display.width, display.height)),
               button(kRefreshRate, refreshLabel(display.refreshHz) + "  \xE2\x96\xBE")});
    y += kButtonHeight + kGap;
    addRow(y, {button(kSetPrimary, "Set Primary", ButtonStyle::Toggle, display.primary, !display.primary),
               button(kRotate, "Rotate 90\xC2\xB0"), button(kEnable, display.active ? "Disable" : "Enable")});
    y += kButtonHeight + kGap;
    const bool previewing = active(callbacks_.previewOpen, display.key);
    addRow(y, {previewing ? button(kPreview, "Close Preview", ButtonStyle::Toggle, true)
                          : button(kPreview, "Live Preview"),
               button(kGather, "Gather Here"), button(kRename, "Rename")});
    y += kButtonHeight + kGap;
    const bool sending = active(callbacks_.ndiActive, display.key);
    const ClassicControl ndiRegion = button(kNdiRegion, "NDI Region\xE2\x80\xA6", ButtonStyle::Plain, false, !sending);
    const ClassicControl more = button(kMore, "More\xE2\x80\xA6", ButtonStyle::Quiet);
    if (display.hdrSupported) {
        addRow(y, {ndiRegion, display.hdrEnabled ? button(kHdr, "HDR", ButtonStyle::Toggle, true)
                                                 : button(kHdr, "HDR")});
        y += kButtonHeight + kGap;
        addRow(y, {more});
    } else {
        addRow(y, {ndiRegion, more});
    }
    return y + kButtonHeight + kGap;
}

std::string FlyoutPanel::rowCaption(const DisplayInfo& display, bool expanded) {
    return strprintf("%s %s%s   %ux%u \xC2\xB7 %s%s%s", expanded ? "\xE2\x96\xBE" : "\xE2\x96\xB8",
                     display.primary ? "\xE2\x98\x85 " : "", display.name.c_str(), display.width, display.height,
                     refreshLabel(display.refreshHz).c_str(), display.hdrEnabled ? " \xC2\xB7 HDR" : "",
                     display.active ? "" : "  (off)");
}

void FlyoutPanel::resizeWindow() {
    const uint32_t dpi = surface_.dpi();
    const int32_t width = dpiScale(kWidth, dpi);
    const int32_t height = dpiScale(height_, dpi);
    const ScreenRect now = surface_.windowRect();
    ScreenRect rect{now.left, now.top, now.left + width, now.top + height};
    if (surface_.isVisible()) {
        // Growing or shrinking upwards keeps the bottom edge where it was.
        rect.top = now.bottom - height;
        rect.bottom = now.bottom;
        const ScreenPoint centre{(now.left + now.right) / 2, (now.top + now.bottom) / 2};
        if (const auto work = surface_.workAreaNear(centre)) {
            const int32_t top = std::min(std::max(rect.top, work->top), work->bottom - height);
            rect = ScreenRect{rect.left, top, rect.right, top + height};
        }
    }
    surface_.setWindowRect(rect);
}

const DisplayInfo* FlyoutPanel::selectedDisplay() const {
    for (const DisplayInfo& display : displays_)
        if (display.key == selected_) return &display;
    return nullptr;
}

void FlyoutPanel::dispatch(const Action& action) {
    if (!bus_) return;
    bus_->dispatch(action);
    rebuild();
}

void FlyoutPanel::rename(const std::string& key, const std::string& name) {
    Action action;
    action.kind = ActionKind::RenameDisplay;
    action.display = key;
    action.name = name;
    dispatch(action);
}

void FlyoutPanel::onCommand(uint32_t id) {
    if (!bus_) return;
    const auto simple = [&](ActionKind kind) {
        Action action;
        action.kind = kind;
        dispatch(action);
    };
    const auto perDisplay = [&](ActionKind kind) {
        if (selected_.empty()) return;
        Action action;
        action.kind = kind;
        action.display = selected_;
        dispatch(action);
    };
    const auto push = [&](int32_t width, int32_t height) {
        Action action;
        action.kind = ActionKind::PushResolutionAll;
        action.width = width;
        action.height = height;
        dispatch(action);
    };
    const auto keyOf = [&](uint32_t control) {
        const auto found = keyById_.find(control);
        return found == keyById_.end() ? std::string() : found->second;
    };

    switch (id) {
    case kInternal: return simple(ActionKind::ProjectionInternal);
    case kMirror: return simple(ActionKind::ProjectionClone);
    case kExtend: return simple(ActionKind::ProjectionExtend);
    case kExternal: return simple(ActionKind::ProjectionExternal);
    case kPushNative: return simple(ActionKind::PushNativeResolutions);
    case kPushMax: return simple(ActionKind::PushMaxResolutions);
    case kPushHd: return push(1920, 1080);
    case kPush4k: return push(3840, 2160);
    case kFlip: return simple(ActionKind::FlipArrangement);
    case kRefresh: return simple(ActionKind::RefreshDisplays);
    case kSetPrimary: return perDisplay(ActionKind::SetPrimary);
    case kRotate: return perDisplay(ActionKind::RotateNext);
    case kHdr: return perDisplay(ActionKind::ToggleHdr);
    case kGather: return perDisplay(ActionKind::GatherWindows);
    case kEnable: {
        const DisplayInfo* display = selectedDisplay();
        if (display) perDisplay(display->active ? ActionKind::DisableDisplay : ActionKind::EnableDisplay);
        return;
    }
    case kMirrorTwo:
    case kLayouts:
    case kChooser:
    case kResolution:
    case kRefreshRate:
    case kMore: {
        const Menu chosen = menu(id);
        const uint32_t command = surface_.trackMenu(chosen.entries);
        if (command >= 1 && command <= chosen.run.size()) chosen.run[command - 1]();
        return;
    }
    case kArrange:
        hide();
        if (callbacks_.openArrangement) callbacks_.openArrangement();
        return;
    case kSettings:
        hide();
        if (callbacks_.openSettings) callbacks_.openSettings();
        return;
    case kExit: {
        Action action;
        action.kind = ActionKind::Exit;
        bus_->dispatch(action);
        surface_.quit();
        return;
    }
    case kRecordings:
        if (callbacks_.openRecordingsFolder) callbacks_.openRecordingsFolder();
        return;
    case kPreview:
        if (!selected_.empty() && callbacks_.togglePreview) callbacks_.togglePreview(selected_);
        rebuild();
        return;
    case kRename: {
        const DisplayInfo* display = selectedDisplay();
        if (!display || !prompt_) return;
        const std::string key = display->key;
        std::string name = display->name;
        if (prompt_->prompt(surface_.handle(), "Rename display", "Display name:", name)) rename(key, name);
        return;
    }
    case kNdiRegion:
        hide();
        if (!selected_.empty() && callbacks_.toggleRegionNdi) callbacks_.toggleRegionNdi(selected_);
        return;
    default:
        break;
    }

    const std::string key = keyOf(id);
    if (key.empty()) return;
    if (id >= kNdiBase) {
        if (callbacks_.toggleNdi) callbacks_.toggleNdi(key);
        rebuild();
    } else if (id >= kRegionBase) {
        hide();
        if (callbacks_.toggleRegionRecording) callbacks_.toggleRegionRecording(key);
    } else if (id >= kRecordBase) {
        if (callbacks_.toggleRecording) callbacks_.toggleRecording(key);
        rebuild();
    } else if (id >= kRowBase) {
        selected_ = selected_ == key ? std::string() : key;
        rebuild();
    }
}

void FlyoutPanel::Menu::add(std::vector<MenuEntry>& into, std::string text, std::function<void()> function,
                            bool checked, bool grayed) {
    MenuEntry entry;
    entry.text = std::move(text);
    entry.checked = checked;
    entry.grayed = grayed;
    if (function) {
        run.push_back(std::move(function));
        entry.command = static_cast<uint32_t>(run.size());
    }
    into.push_back(std::move(entry));
}

void FlyoutPanel::Menu::separator(std::vector<MenuEntry>& into) {
    MenuEntry entry;
    entry.separator = true;
    into.push_back(entry);
}

void FlyoutPanel::addSizes(Menu& menu, std::vector<MenuEntry>& into, const DisplayInfo& display,
                           const ModeChoices& choices) {
    for (const auto& [w, h] : choices.resolutions)
        menu.add(into, sizeText(w, h), [this, key = display.key, w, h] {
            Action action;
            action.kind = ActionKind::SetResolution;
            action.display = key;
            action.width = static_cast<int32_t>(w);
            action.height = static_cast<int32_t>(h);
            dispatch(action);
        }, w == display.width && h == display.height);
}

void FlyoutPanel::addRates(Menu& menu, std::vector<MenuEntry>& into, const DisplayInfo& display,
                           const ModeChoices& choices) {
    for (uint32_t hz : choices.rates)
        menu.add(into, refreshLabel(hz), [this, key = display.key, hz] {
            Action action;
            action.kind = ActionKind::SetRefreshRate;
            action.display = key;
            action.refreshHz = static_cast<int32_t>(hz);
            dispatch(action);
        }, hz == display.refreshHz);
}

FlyoutPanel::Menu FlyoutPanel::menu(uint32_t id) {
    Menu menu;
    const auto add = [&menu](std::vector<MenuEntry>& into, std::string text, std::function<void()> run,
                             bool checked = false, bool grayed = false) {
        menu.add(into, std::move(text), std::move(run), checked, grayed);
    };
    const auto separator = &Menu::separator;
    if (!bus_) return menu;
    const std::vector<DisplayInfo> displays = bus_->displays();

    switch (id) {
    case kMirrorTwo:
        if (displays.size() < 2) {
            add(menu.entries, "(need two or more displays)", nullptr, false, true);
            break;
        }
        for (size_t i = 0; i < displays.size(); ++i)
            for (size_t j = i + 1; j < displays.size(); ++j) {
                const std::vector<std::string> pair{displays[i].key, displays[j].key};
                add(menu.entries, displays[i].name + "  +  " + displays[j].name, [this, pair] {
                    Action action;
                    action.kind = ActionKind::MirrorSpecific;
                    action.displays = pair;
                    dispatch(action);
                });
            }
        break;
    case kLayouts: {
        const std::vector<std::string> names = bus_->layoutNames();
        const std::string generated = strprintf("Layout %zu (%zu displays)", names.size() + 1, displays.size());
        add(menu.entries, "Save current layout", [this, generated] {
            Action action;
            action.kind = ActionKind::SaveLayout;
            action.name = generated;
            dispatch(action);
        });
        separator(menu.entries);
        if (names.empty()) {
            add(menu.entries, "(no saved layouts)", nullptr, false, true);
            break;
        }
        const auto layoutAction = [this](ActionKind kind, const std::string& name) {
            return [this, kind, name] {
                Action action;
                action.kind = kind;
                action.name = name;
                dispatch(action);
            };
        };
        for (const std::string& name : names) add(menu.entries, name, layoutAction(ActionKind::RestoreLayout, name));
        separator(menu.entries);
        MenuEntry remove;
        remove.text = "Delete";
        for (const std::string& name : names) add(remove.submenu, name, layoutAction(ActionKind::DeleteLayout, name));
        menu.entries.push_back(std::move(remove));
        break;
    }
    case kChooser:
        if (displays.empty()) add(menu.entries, "(no displays)", nullptr, false, true);
        for (const DisplayInfo& display : displays) {
            const std::string key = display.key;
            add(menu.entries, display.name, [this, key] {
                if (callbacks_.togglePreview) callbacks_.togglePreview(key);
                rebuild();
            });
        }
        break;
    case kResolution:
    case kRefreshRate:
    case kMore: {
        const DisplayInfo* display = selectedDisplay();
        if (!display) break;
        if (id == kMore) return moreMenu(*display);
        const DisplayInfo shown = *display;
        const ModeChoices choices =
            modeChoices(bus_->modes(shown.key), shown.width, shown.height, kMaxMenuResolutions);
        if (id == kResolution) {
            addSizes(menu, menu.entries, shown, choices);
        } else {
            addRates(menu, menu.entries, shown, choices);
        }
        break;
    }
    default:
        break;
    }
    return menu;
}

FlyoutPanel::Menu FlyoutPanel::moreMenu(const DisplayInfo& display) {
    Menu menu;
    const std::string key = display.key;
    const auto add = [&menu](std::vector<MenuEntry>& into, std::string text, std::function<void()> run,
                             bool checked = false, bool grayed = false) {
        menu.add(into, std::move(text), std::move(run), checked, grayed);
    };
    const auto separator = [&menu] { Menu::separator(menu.entries); };
    const auto act = [this, key](ActionKind kind) {
        return [this, key, kind] {
            Action action;
            action.kind = kind;
            action.display = key;
            dispatch(action);
        };
    };

    const ModeChoices choices = modeChoices(bus_->modes(key), display.width, display.height, kMaxMenuResolutions);
    MenuEntry resolution;
    resolution.text = "Resolution";
    addSizes(menu, resolution.submenu, display, choices);
    menu.entries.push_back(std::move(resolution));

    MenuEntry rate;
    rate.text = "Refresh rate";
    rate.grayed = choices.rates.empty();
    addRates(menu, rate.submenu, display, choices);
    menu.entries.push_back(std::move(rate));

    if (display.hdrSupported)
        add(menu.entries, "HDR (advanced color)", act(ActionKind::ToggleHdr), display.hdrEnabled);
    if (!display.colorEncoding.empty())
        add(menu.entries, strprintf("%s \xC2\xB7 %u-bit", display.colorEncoding.c_str(), display.bitsPerColor),
            nullptr, false, true);

    MenuEntry orientation;
    orientation.text = "Orientation";
    for (int32_t i = 0; i < 4; ++i)
        add(orientation.submenu, kOrientations[i], [this, key, i] {
            Action action;
            action.kind = ActionKind::SetOrientation;
            action.display = key;
            action.orientation = i;
            dispatch(action);
        }, display.orientation == static_cast<uint32_t>(i));
    menu.entries.push_back(std::move(orientation));
    add(menu.entries, "Rotate 90\xC2\xB0", act(ActionKind::RotateNext));
    separator();

    add(menu.entries, "Gather all windows here", act(ActionKind::GatherWindows));
    MenuEntry grab;
    grab.text = "Grab a window from here";
    std::vector<WindowEntry> windows = bus_->windowsOn(key);
    if (windows.size() > kMaxMenuWindows) windows.resize(kMaxMenuWindows);
    grab.grayed = windows.empty();
    for (const WindowEntry& window : windows)
        add(grab.submenu, menuTitle(window.title), [this, key, handle = window.window] {
            Action action;
            action.kind = ActionKind::GrabWindow;
            action.display = key;
            action.window = handle;
            dispatch(action);
        });
    menu.entries.push_back(std::move(grab));
    separator();

    // These two act on the windows of every display, so they carry no display.
    const auto everywhere = [this](ActionKind kind) {
        return [this, kind] {
            Action action;
            action.kind = kind;
            dispatch(action);
        };
    };
    add(menu.entries, "Put windows back", everywhere(ActionKind::RestoreWindows));
    add(menu.entries, "Rescue off-screen windows", everywhere(ActionKind::RescueWindows));
    separator();

    add(menu.entries, "Live preview\xE2\x80\xA6", [this, key] {
        if (callbacks_.togglePreview) callbacks_.togglePreview(key);
        rebuild();
    });
    add(menu.entries, "Set as primary", display.primary ? std::function<void()>() : act(ActionKind::SetPrimary),
        display.primary, display.primary);
    add(menu.entries, display.active ? "Disable display" : "Enable display",
        act(display.active ? ActionKind::DisableDisplay : ActionKind::EnableDisplay));
    separator();
    add(menu.entries, "Rename\xE2\x80\xA6", [this, key, name = display.name] {
        if (!prompt_) return;
        std::string text = name;
        if (prompt_->prompt(surface_.handle(), "Rename display", "Display name:", text)) rename(key, text);
    });
    add(menu.entries, "Reset to default name", [this, key] { rename(key, ""); });
    return menu;
}

} // namespace qv
