// The classic flyout's decisions: its controls for the displays there are,
// what each id and menu entry does, and where the panel opens.
#include "ui/FlyoutPanel.h"

#include "actions/ActionBus.h"
#include "base/StrPrintf.h"
#include "sim/SimFlyoutPanelSurface.h"
#include "unit/CoreWorld.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qv::test {
namespace {

using sim::SimFlyoutPanelSurface;
using sim::SimTextPrompt;

std::string text(const ScreenRect& r) { return strprintf("(%d,%d)-(%d,%d)", r.left, r.top, r.right, r.bottom); }

// Captions of a menu's entries, submenus in brackets, "-" for separators,
// "[x]" for checked and "(grey)" for greyed entries.
std::vector<std::string> captions(const std::vector<MenuEntry>& entries) {
    std::vector<std::string> out;
    for (const MenuEntry& e : entries) {
        if (e.separator) {
            out.push_back("-");
            continue;
        }
        std::string line = e.text;
        if (e.checked) line += " [x]";
        if (e.grayed) line += " (grey)";
        if (!e.submenu.empty()) line += " {" + std::to_string(e.submenu.size()) + "}";
        out.push_back(line);
    }
    return out;
}

// The command of the entry with that text (searching submenus); 0 when none.
uint32_t commandOf(const std::vector<MenuEntry>& entries, const std::string& caption) {
    for (const MenuEntry& e : entries) {
        if (e.text == caption && e.command) return e.command;
        if (const uint32_t inner = commandOf(e.submenu, caption)) return inner;
    }
    return 0;
}

class FlyoutPanelTest : public CoreWorld {
protected:
    void SetUp() override {
        bus.setResultListener([this](const Action& action, const ActionResult&) {
            std::string line = actionKindName(action.kind);
            if (!action.display.empty()) line += " " + nameOf(action.display);
            if (action.width) line += strprintf(" %dx%d", action.width, action.height);
            if (action.refreshHz) line += strprintf(" %dHz", action.refreshHz);
            if (action.kind == ActionKind::SetOrientation) line += strprintf(" o%d", action.orientation);
            if (!action.name.empty()) line += " \"" + action.name + "\"";
            for (const std::string& key : action.displays) line += " " + nameOf(key);
            if (action.window) line += " window";
            dispatched.push_back(line);
        });
    }

    std::string nameOf(const std::string& key) {
        for (const DisplayInfo& d : bus.displays())
            if (d.key == key) return d.name;
        return key;
    }
    std::string keyOf(const std::string& name) {
        for (const DisplayInfo& d : bus.displays())
            if (d.name == name) return d.key;
        return "";
    }
    void open(ScreenPoint at = {1900, 1030}) {
        ASSERT_TRUE(panel.create(bus));
        panel.showAt(at);
    }
    const ClassicControl* control(uint32_t id) const { return findControl(surface.controls, id); }
    std::vector<uint32_t> ids() const {
        std::vector<uint32_t> out;
        for (const ClassicControl& c : surface.controls) out.push_back(c.id);
        return out;
    }
    bool has(uint32_t id) const { return control(id) != nullptr; }

    SimFlyoutPanelSurface surface;
    SimTextPrompt prompt;
    FlyoutPanel panel{surface, &prompt};
    std::vector<std::string> dispatched;
};

TEST(FlyoutPanelCaptions, DisplayRowsSayWhatTheDisplayIsDoing) {
    DisplayInfo d;
    d.name = "DELL U2720Q";
    d.width = 3840;
    d.height = 2160;
    d.refreshHz = 60;
    d.active = true;
    struct Case {
        const char* what;
        void (*change)(DisplayInfo&);
        bool expanded;
        const char* caption;
    };
    const Case cases[] = {
        {"plain", [](DisplayInfo&) {}, false, "\xE2\x96\xB8 DELL U2720Q   3840x2160 \xC2\xB7 60 Hz"},
        {"expanded", [](DisplayInfo&) {}, true, "\xE2\x96\xBE DELL U2720Q   3840x2160 \xC2\xB7 60 Hz"},
        {"59 is 59.94", [](DisplayInfo& x) { x.refreshHz = 59; }, false,
         "\xE2\x96\xB8 DELL U2720Q   3840x2160 \xC2\xB7 59.94 Hz"},
        {"23 is 23.976", [](DisplayInfo& x) { x.refreshHz = 23; }, false,
         "\xE2\x96\xB8 DELL U2720Q   3840x2160 \xC2\xB7 23.976 Hz"},
        {"primary, HDR on, off", [](DisplayInfo& x) { x.primary = true; x.hdrEnabled = true; x.active = false; },
         false, "\xE2\x96\xB8 \xE2\x98\x85 DELL U2720Q   3840x2160 \xC2\xB7 60 Hz \xC2\xB7 HDR  (off)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DisplayInfo display = d;
        c.change(display);
        EXPECT_EQ(FlyoutPanel::rowCaption(display, c.expanded), c.caption);
    }
}

TEST(FlyoutPanelPlacement, OpensAgainstThePointInsideTheWorkArea) {
    const ScreenRect work{0, 0, 1920, 1040};
    struct Case {
        const char* what;
        ScreenPoint point;
        ScreenRect work;
        int32_t height;
        const char* rect;
    };
    const Case cases[] = {
        {"bottom-right: above and left", {1900, 1030}, work, 600, "(1582,430)-(1900,1030)"},
        {"top-left: below and right", {10, 10}, work, 600, "(10,10)-(328,610)"},
        {"top-right: below and left", {1910, 5}, work, 600, "(1592,5)-(1910,605)"},
        {"bottom-left: above and right", {5, 1035}, work, 600, "(5,435)-(323,1035)"},
        {"below the work area (a taskbar click): pulled up into it", {1900, 1070}, work, 600,
         "(1582,440)-(1900,1040)"},
        {"taller than the work area: the bottom wins", {1900, 1030}, work, 1200, "(1582,-160)-(1900,1040)"},
        {"a monitor left of the primary", {-30, 1400}, ScreenRect{-2560, 0, 0, 1400}, 600,
         "(-348,800)-(-30,1400)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(text(FlyoutPanel::placement(c.point, c.work, 318, c.height)), c.rect);
    }
}

TEST_F(FlyoutPanelTest, ThreeDisplaysOpenWithThePrimaryExpandedAboveTheClick) {
    desk.displays.laptopWithTwoDocked();
    open();
    const std::vector<DisplayInfo> displays = bus.displays();
    ASSERT_EQ(displays.size(), 3u);

    // The projection switch shows Extend; the rows are there with their keys.
    EXPECT_TRUE(control(FlyoutPanel::kExtend)->selected);
    EXPECT_FALSE(control(FlyoutPanel::kInternal)->selected);
    for (uint32_t i = 0; i < 3; ++i) {
        ASSERT_TRUE(has(FlyoutPanel::kRowBase + i));
        EXPECT_EQ(control(FlyoutPanel::kRowBase + i)->caption,
                  FlyoutPanel::rowCaption(displays[i], displays[i].primary));
        EXPECT_TRUE(has(FlyoutPanel::kRecordBase + i) && has(FlyoutPanel::kRegionBase + i) &&
                    has(FlyoutPanel::kNdiBase + i));
    }
    // The primary (the laptop at the origin) is selected and its block shown.
    EXPECT_EQ(nameOf(panel.selectedKey()), displays[0].name);
    EXPECT_TRUE(control(FlyoutPanel::kRowBase)->selected);
    for (uint32_t id : {18u, 19u, 20u, 21u, 22u, 24u, 25u, 26u, 27u, 28u, 29u}) EXPECT_TRUE(has(id)) << id;
    EXPECT_FALSE(panel.scene().miniMap.width() == 0);
    EXPECT_EQ(panel.scene().tiles.size(), 3u);

    // Every control lies inside the panel's width; the window has the panel's height.
    for (const ClassicControl& c : surface.controls) {
        EXPECT_GE(c.rect.left, 14) << c.caption;
        EXPECT_LE(c.rect.right, 304) << c.caption;
        EXPECT_LE(c.rect.bottom, panel.height()) << c.caption;
    }
    EXPECT_EQ(text(surface.rect), strprintf("(1582,%d)-(1900,1030)", 1030 - panel.height()));
    EXPECT_TRUE(surface.visible);
}

TEST_F(FlyoutPanelTest, OneDisplayIsSelectedAndItsBlockFollowsItsHdrSupport) {
    sim::SimMonitor monitor = sim::SimMonitor::fromEdid({.manufacturer = "DEL", .productCode = 0x41A8,
                                                         .serialNumber = 1, .monitorName = "DELL U2720Q",
                                                         .serialText = "", .width = 3840, .height = 2160,
                                                         .refreshHz = 60});
    monitor.modes = {{3840, 2160, 60}, {2560, 1440, 60}, {3840, 2160, 30}};
    monitor.current = {3840, 2160, 60};
    desk.displays.plug(monitor, 0, 0);
    open();
    EXPECT_FALSE(panel.selectedKey().empty());
    // No HDR: "More…" shares the row with "NDI Region…".
    EXPECT_FALSE(has(FlyoutPanel::kHdr));
    EXPECT_EQ(control(FlyoutPanel::kMore)->rect.top, control(FlyoutPanel::kNdiRegion)->rect.top);
    EXPECT_EQ(control(FlyoutPanel::kMore)->style, ButtonStyle::Quiet);
    // Only the 4K push is possible; primary shown as selected and disabled.
    EXPECT_FALSE(control(FlyoutPanel::kPushHd)->enabled);
    EXPECT_TRUE(control(FlyoutPanel::kPush4k)->enabled);
    EXPECT_TRUE(control(FlyoutPanel::kSetPrimary)->selected);
    EXPECT_FALSE(control(FlyoutPanel::kSetPrimary)->enabled);
    EXPECT_EQ(control(FlyoutPanel::kResolution)->caption, "3840 \xC3\x97 2160  \xE2\x96\xBE");
    EXPECT_EQ(control(FlyoutPanel::kRefreshRate)->caption, "60 Hz  \xE2\x96\xBE");

    // The refresh menu lists the current size's rates, the current one checked.
    EXPECT_EQ(captions(panel.menu(FlyoutPanel::kRefreshRate).entries),
              (std::vector<std::string>{"60 Hz [x]", "30 Hz"}));
    EXPECT_EQ(captions(panel.menu(FlyoutPanel::kMirrorTwo).entries),
              (std::vector<std::string>{"(need two or more displays) (grey)"}));
    EXPECT_EQ(captions(panel.menu(FlyoutPanel::kLayouts).entries),
              (std::vector<std::string>{"Save current layout", "-", "(no saved layouts) (grey)"}));
}

TEST_F(FlyoutPanelTest, HdrCapableDisplayGetsTheHdrButtonAndMoreOnItsOwnRow) {
    sim::SimMonitor monitor = sim::SimMonitor::fromEdid({.manufacturer = "DEL", .productCode = 0x41A8,
                                                         .serialNumber = 1, .monitorName = "DELL U2720Q",
                                                         .serialText = "", .width = 3840, .height = 2160,
                                                         .refreshHz = 60});
    monitor.color = AdvancedColorInfo{true, true, 0, 10};
    desk.displays.plug(monitor, 0, 0);
    open();
    ASSERT_TRUE(has(FlyoutPanel::kHdr));
    EXPECT_TRUE(control(FlyoutPanel::kHdr)->selected) << "HDR is on";
    EXPECT_EQ(control(FlyoutPanel::kHdr)->style, ButtonStyle::Toggle);
    EXPECT_EQ(control(FlyoutPanel::kHdr)->rect.top, control(FlyoutPanel::kNdiRegion)->rect.top);
    EXPECT_GT(control(FlyoutPanel::kMore)->rect.top, control(FlyoutPanel::kNdiRegion)->rect.top);
    EXPECT_EQ(control(FlyoutPanel::kMore)->rect.width(), 290);
    EXPECT_NE(control(FlyoutPanel::kRowBase)->caption.find(" \xC2\xB7 HDR"), std::string::npos);
    const std::vector<std::string> more = captions(panel.menu(FlyoutPanel::kMore).entries);
    EXPECT_NE(std::find(more.begin(), more.end(), "HDR (advanced color) [x]"), more.end());
}

TEST_F(FlyoutPanelTest, RowsSelectCollapseAndMoveTheBlockKeepingTheBottomEdge) {
    desk.displays.laptopWithTwoDocked();
    open();
    const int32_t bottom = surface.rect.bottom;
    const int32_t expanded = panel.height();

    panel.onCommand(FlyoutPanel::kRowBase); // the selected one: collapse
    EXPECT_TRUE(panel.selectedKey().empty());
    EXPECT_FALSE(has(FlyoutPanel::kMiniMap));
    EXPECT_LT(panel.height(), expanded);
    EXPECT_EQ(surface.rect.bottom, bottom) << "shrinks downwards to its bottom edge";
    EXPECT_EQ(surface.rect.height(), panel.height());

    panel.onCommand(FlyoutPanel::kRowBase + 2);
    EXPECT_EQ(panel.selectedKey(), bus.displays()[2].key);
    EXPECT_TRUE(control(FlyoutPanel::kRowBase + 2)->selected);
    EXPECT_EQ(surface.rect.bottom, bottom);
    // The block follows the third row.
    EXPECT_GT(control(FlyoutPanel::kMiniMap)->rect.top, control(FlyoutPanel::kRowBase + 2)->rect.top);

    // Reopening keeps the selection.
    panel.hide();
    panel.showAt({1900, 1030});
    EXPECT_EQ(panel.selectedKey(), bus.displays()[2].key);
}

TEST_F(FlyoutPanelTest, EachCommandDispatchesItsActionAndRebuilds) {
    desk.displays.laptopWithTwoDocked();
    open();
    const std::string laptop = bus.displays()[0].name;
    struct Case {
        uint32_t id;
        std::string dispatched;
    };
    // Per-display commands first: a projection change may take the selected display away.
    const Case cases[] = {
        {FlyoutPanel::kRotate, "RotateNext " + laptop},
        {FlyoutPanel::kHdr, "ToggleHdr " + laptop},
        {FlyoutPanel::kGather, "GatherWindows " + laptop},
        {FlyoutPanel::kSetPrimary, "SetPrimary " + laptop},
        {FlyoutPanel::kEnable, "DisableDisplay"},
        {FlyoutPanel::kInternal, "ProjectionInternal"},
        {FlyoutPanel::kMirror, "ProjectionClone"},
        {FlyoutPanel::kExtend, "ProjectionExtend"},
        {FlyoutPanel::kExternal, "ProjectionExternal"},
        {FlyoutPanel::kPushNative, "PushNativeResolutions"},
        {FlyoutPanel::kPushMax, "PushMaxResolutions"},
        {FlyoutPanel::kPushHd, "PushResolutionAll 1920x1080"},
        {FlyoutPanel::kPush4k, "PushResolutionAll 3840x2160"},
        {FlyoutPanel::kFlip, "FlipArrangement"},
        {FlyoutPanel::kRefresh, "RefreshDisplays"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        dispatched.clear();
        panel.onCommand(c.id);
        ASSERT_EQ(dispatched.size(), 1u);
        EXPECT_EQ(dispatched[0].substr(0, c.dispatched.size()), c.dispatched);
    }
    // Ids without an action dispatch nothing.
    dispatched.clear();
    for (uint32_t id : {0u, 18u, 90u, 91u, 99u, 299u, 599u, 9999u}) panel.onCommand(id);
    EXPECT_TRUE(dispatched.empty());
}

TEST_F(FlyoutPanelTest, CallbacksGetTheRowsKeyAndPanelsHideFirstWhereAWindowOpens) {
    desk.displays.laptopWithTwoDocked();
    std::vector<std::string> calls;
    FlyoutPanel::Callbacks callbacks;
    std::string recording;
    callbacks.toggleRecording = [&](const std::string& key) {
        calls.push_back("record " + nameOf(key));
        recording = key;
    };
    callbacks.recordingActive = [&](const std::string& key) { return key == recording; };
    callbacks.toggleRegionRecording = [&](const std::string& key) {
        calls.push_back(std::string("region ") + (surface.visible ? "shown" : "hidden") + " " + nameOf(key));
    };
    callbacks.toggleNdi = [&](const std::string& key) { calls.push_back("ndi " + nameOf(key)); };
    callbacks.toggleRegionNdi = [&](const std::string& key) {
        calls.push_back(std::string("ndi region ") + (surface.visible ? "shown" : "hidden") + " " + nameOf(key));
    };
    callbacks.togglePreview = [&](const std::string& key) { calls.push_back("preview " + nameOf(key)); };
    callbacks.openSettings = [&] { calls.push_back(std::string("settings ") + (surface.visible ? "shown" : "hidden")); };
    callbacks.openArrangement = [&] { calls.push_back(std::string("arrange ") + (surface.visible ? "shown" : "hidden")); };
    callbacks.openRecordingsFolder = [&] { calls.push_back("folder"); };
    panel.setCallbacks(callbacks, &config);
    open();
    const std::vector<DisplayInfo> displays = bus.displays();

    panel.onCommand(FlyoutPanel::kRecordBase + 1);
    // While recording: the record button is a selected stop button, the region button disabled.
    EXPECT_EQ(control(FlyoutPanel::kRecordBase + 1)->caption, "\xE2\x96\xA0");
    EXPECT_EQ(control(FlyoutPanel::kRecordBase + 1)->style, ButtonStyle::Danger);
    EXPECT_FALSE(control(FlyoutPanel::kRegionBase + 1)->enabled);
    EXPECT_TRUE(control(FlyoutPanel::kRegionBase + 0)->enabled);
    panel.onCommand(FlyoutPanel::kNdiBase + 2);
    panel.onCommand(FlyoutPanel::kPreview);
    panel.onCommand(FlyoutPanel::kRecordings);
    panel.showAt({1900, 1030});
    panel.onCommand(FlyoutPanel::kRegionBase + 0);
    panel.showAt({1900, 1030});
    panel.onCommand(FlyoutPanel::kNdiRegion);
    panel.showAt({1900, 1030});
    panel.onCommand(FlyoutPanel::kSettings);
    panel.showAt({1900, 1030});
    panel.onCommand(FlyoutPanel::kArrange);
    EXPECT_EQ(calls, (std::vector<std::string>{
                         "record " + displays[1].name, "ndi " + displays[2].name, "preview " + displays[0].name,
                         "folder", "region hidden " + displays[0].name, "ndi region hidden " + displays[0].name,
                         "settings hidden", "arrange hidden"}));
    EXPECT_TRUE(dispatched.empty());
}

TEST_F(FlyoutPanelTest, MenusOfferWhatThereIsAndRunTheChoice) {
    desk.displays.laptopWithTwoDocked();
    open();
    const std::vector<DisplayInfo> d = bus.displays();

    // Mirror Two: every unordered pair in list order.
    EXPECT_EQ(captions(panel.menu(FlyoutPanel::kMirrorTwo).entries),
              (std::vector<std::string>{d[0].name + "  +  " + d[1].name, d[0].name + "  +  " + d[2].name,
                                        d[1].name + "  +  " + d[2].name}));
    surface.chooseFromMenu = [&](const std::vector<MenuEntry>& entries) {
        return commandOf(entries, d[1].name + "  +  " + d[2].name);
    };
    panel.onCommand(FlyoutPanel::kMirrorTwo);
    EXPECT_EQ(dispatched, (std::vector<std::string>{"MirrorSpecific " + d[1].name + " " + d[2].name}));

    // Layouts: the generated name counts the saved layouts and the displays.
    dispatched.clear();
    surface.chooseFromMenu = [](const std::vector<MenuEntry>& entries) {
        return commandOf(entries, "Save current layout");
    };
    panel.onCommand(FlyoutPanel::kLayouts);
    panel.onCommand(FlyoutPanel::kLayouts);
    const std::vector<DisplayInfo> now = bus.displays();
    EXPECT_EQ(dispatched[0], strprintf("SaveLayout \"Layout 1 (%zu displays)\"", now.size()));
    EXPECT_EQ(dispatched[1], strprintf("SaveLayout \"Layout 2 (%zu displays)\"", now.size()));
    const std::string first = strprintf("Layout 1 (%zu displays)", now.size());
    const std::string second = strprintf("Layout 2 (%zu displays)", now.size());
    EXPECT_EQ(captions(panel.menu(FlyoutPanel::kLayouts).entries),
              (std::vector<std::string>{"Save current layout", "-", first, second, "-", "Delete {2}"}));
    dispatched.clear();
    surface.chooseFromMenu = [&](const std::vector<MenuEntry>& entries) {
        return entries.back().submenu.at(1).command; // Delete → the second
    };
    panel.onCommand(FlyoutPanel::kLayouts);
    surface.chooseFromMenu = [&](const std::vector<MenuEntry>& entries) { return commandOf(entries, first); };
    panel.onCommand(FlyoutPanel::kLayouts);
    EXPECT_EQ(dispatched, (std::vector<std::string>{"DeleteLayout \"" + second + "\"", "RestoreLayout \"" + first + "\""}));

    // A menu closed without a choice does nothing.
    dispatched.clear();
    surface.chooseFromMenu = nullptr;
    panel.onCommand(FlyoutPanel::kResolution);
    EXPECT_TRUE(dispatched.empty());
}

TEST_F(FlyoutPanelTest, MoreMenuCapsSizesAndWindowsAndQuotesTitles) {
    sim::SimMonitor monitor = sim::SimMonitor::fromEdid({.manufacturer = "GSM", .productCode = 0x5B09,
                                                         .serialNumber = 2, .monitorName = "LG ULTRAGEAR",
                                                         .serialText = "", .width = 2560, .height = 1440,
                                                         .refreshHz = 144});
    monitor.modes.clear();
    for (uint32_t i = 0; i < 70; ++i) monitor.modes.push_back({800 + 16 * i, 600 + 9 * i, 60});
    monitor.modes.push_back({2560, 1440, 144});
    monitor.modes.push_back({2560, 1440, 59});
    monitor.current = {2560, 1440, 144};
    desk.displays.plug(monitor, 0, 0);
    const std::string gdi = bus.displays().at(0).gdiName;
    const std::string longTitle(60, 'x');
    // The last opened are the top of the Z order, which the menu lists first.
    for (int i = 0; i < 31; ++i)
        desk.windows.openOn(gdi, i == 30 ? "Tom & Jerry" : i == 29 ? longTitle : "w" + std::to_string(i), 400, 300);
    open();

    const FlyoutPanel::Menu more = panel.menu(FlyoutPanel::kMore);
    const std::vector<std::string> top = captions(more.entries);
    ASSERT_GE(top.size(), 8u);
    EXPECT_EQ(top[0], "Resolution {60}");
    EXPECT_EQ(top[1], "Refresh rate {2}");
    EXPECT_EQ(captions(more.entries[1].submenu), (std::vector<std::string>{"144 Hz [x]", "59.94 Hz"}));
    const MenuEntry* grab = nullptr;
    for (const MenuEntry& e : more.entries)
        if (e.text == "Grab a window from here") grab = &e;
    ASSERT_NE(grab, nullptr);
    ASSERT_EQ(grab->submenu.size(), 30u);
    std::vector<std::string> titles;
    for (const MenuEntry& e : grab->submenu) titles.push_back(e.text);
    EXPECT_NE(std::find(titles.begin(), titles.end(), "Tom && Jerry"), titles.end());
    EXPECT_NE(std::find(titles.begin(), titles.end(), std::string(49, 'x') + "\xE2\x80\xA6"), titles.end());
    // The primary's own "Set as primary" is checked and greyed; orientation shows the current one.
    EXPECT_NE(std::find(top.begin(), top.end(), "Set as primary [x] (grey)"), top.end());
    EXPECT_NE(std::find(top.begin(), top.end(), "Orientation {4}"), top.end());

    // A choice from a submenu dispatches for the selected display.
    surface.chooseFromMenu = [](const std::vector<MenuEntry>& entries) { return commandOf(entries, "Portrait"); };
    panel.onCommand(FlyoutPanel::kMore);
    ASSERT_EQ(dispatched.size(), 1u);
    EXPECT_EQ(dispatched[0], "SetOrientation LG ULTRAGEAR o1");
}

// The window entries follow gather and grab after a separator and act on
// every display's windows, so they name no display.
TEST_F(FlyoutPanelTest, MoreMenuPutsWindowsBackAndRescuesThemFromEveryDisplay) {
    desk.displays.laptopWithTwoDocked();
    open();
    const std::vector<std::string> top = captions(panel.menu(FlyoutPanel::kMore).entries);
    const auto grab = std::find_if(top.begin(), top.end(),
                                   [](const std::string& c) { return c.rfind("Grab a window from here", 0) == 0; });
    ASSERT_NE(grab, top.end());
    ASSERT_GE(top.end() - grab, 5);
    EXPECT_EQ(std::vector<std::string>(grab + 1, grab + 5),
              (std::vector<std::string>{"-", "Put windows back", "Rescue off-screen windows", "-"}));

    struct Case {
        const char* caption;
        const char* dispatched;
    };
    const Case cases[] = {
        {"Put windows back", "RestoreWindows"},
        {"Rescue off-screen windows", "RescueWindows"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption);
        dispatched.clear();
        surface.chooseFromMenu = [&](const std::vector<MenuEntry>& entries) { return commandOf(entries, c.caption); };
        panel.onCommand(FlyoutPanel::kMore);
        EXPECT_EQ(dispatched, std::vector<std::string>{c.dispatched});
    }
}

TEST_F(FlyoutPanelTest, RenameAsksWithTheCurrentNameAndDispatchesWhatWasConfirmed) {
    desk.displays.laptopWithTwoDocked();
    open();
    const DisplayInfo selected = bus.displays()[0];
    struct Case {
        const char* what;
        bool accept;
        std::string typed;
        std::vector<std::string> dispatched;
    };
    const Case cases[] = {
        {"a new name", true, "Desk", {"RenameDisplay Desk \"Desk\""}},
        {"cancelled", false, "ignored", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dispatched.clear();
        prompt.asked.clear();
        prompt.accept = c.accept;
        prompt.typed = c.typed;
        panel.onCommand(FlyoutPanel::kRename);
        ASSERT_EQ(prompt.asked.size(), 1u);
        EXPECT_EQ(prompt.asked[0].substr(0, 27), "Rename display|Display name");
        EXPECT_EQ(prompt.lastOwner, surface.handle());
        EXPECT_EQ(dispatched, c.dispatched);
    }
    // An emptied name resets it to the monitor's own.
    dispatched.clear();
    prompt.accept = true;
    prompt.typed = "";
    panel.onCommand(FlyoutPanel::kRename);
    ASSERT_EQ(dispatched.size(), 1u);
    EXPECT_EQ(dispatched[0], "RenameDisplay " + selected.name);
    EXPECT_TRUE(config.displayNames.empty());
}

TEST_F(FlyoutPanelTest, ExitDispatchesAndEndsTheLoopAndWindowEventsHideOrRebuild) {
    const sim::SimDisplays::Docked docked = desk.displays.laptopWithTwoDocked();
    open();
    panel.onCommand(FlyoutPanel::kExit);
    EXPECT_EQ(dispatched, (std::vector<std::string>{"Exit"}));
    EXPECT_TRUE(surface.quitRequested);

    panel.onDeactivate();
    EXPECT_FALSE(surface.visible);
    // Hidden: a display change does not rebuild.
    surface.controls.clear();
    panel.onDisplayChange();
    EXPECT_TRUE(surface.controls.empty());
    panel.showAt({1900, 1030});
    panel.onEscape();
    EXPECT_FALSE(surface.visible);

    // Moved to a monitor of 150 %: the suggested place, every size scaled,
    // the bottom edge kept.
    panel.showAt({1900, 1030});
    surface.dpiValue = 144;
    panel.onDpiChanged(ScreenRect{1423, 130, 1900, 1030});
    EXPECT_EQ(surface.rect.bottom, 1030);
    EXPECT_EQ(surface.rect.width(), 477);
    EXPECT_EQ(surface.rect.height(), (panel.height() * 144 + 48) / 96);
    surface.dpiValue = 96;

    // Visible: a vanished display disappears from the panel at once.
    panel.showAt({1900, 1030});
    desk.displays.unplug(docked.right);
    panel.onDisplayChange();
    EXPECT_FALSE(has(FlyoutPanel::kRowBase + 2));
}

TEST_F(FlyoutPanelTest, CreationFailureIsLoggedAndWithoutDisplaysThePanelSaysSo) {
    surface.failCreate = true;
    EXPECT_FALSE(panel.create(bus));
    const std::vector<std::string> lines = desk.debug.lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "[Quorvane][ERR] FlyoutPanel: CreateWindowEx failed\n"), 1);

    surface.failCreate = false;
    open();
    const ClassicControl* none = control(FlyoutPanel::kNoDisplays);
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(none->caption, "(no active displays detected)");
    EXPECT_FALSE(control(FlyoutPanel::kPushHd)->enabled);
    EXPECT_TRUE(panel.selectedKey().empty());
    EXPECT_EQ(captions(panel.menu(FlyoutPanel::kChooser).entries), (std::vector<std::string>{"(no displays) (grey)"}));
}

} // namespace
} // namespace qv::test
