// The display model and the window placement service on two real monitors:
// the two-monitor tier's X server (scripts/lib-xorg.sh) with Wine's display
// driver on top. What Wine does there, and where a test plays Windows' part,
// is written down in WineTestSupport.h. Every test skips on fewer than two
// monitors, so the suites may run anywhere; the one-monitor adapter run
// leaves them out by name.
#include "display/DisplayManager.h"
#include "display/win32/Win32DisplayConfigApi.h"
#include "windows/Grid.h"
#include "windows/WindowPlacement.h"
#include "windows/win32/Win32WindowSystem.h"
#include "wine/WineTestSupport.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace qv {
namespace {

// The tier's layout, as scripts/lib-xorg.sh lays the outputs out.
struct ExpectedDisplay {
    const char* gdiName;
    ScreenRect rect;
    bool primary;
};
const ExpectedDisplay kLeft{"\\\\.\\DISPLAY1", {0, 0, 1920, 1080}, true};
const ExpectedDisplay kRight{"\\\\.\\DISPLAY2", {1920, 0, 3840, 1080}, false};

void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// A real, titled top-level window of the test's own, shown without
// activation; it counts the WM_DISPLAYCHANGE messages it receives and keeps
// the rectangle of each maximise (WM_SIZE with SIZE_MAXIMIZED).
class RealWindow {
public:
    RealWindow(const wchar_t* title, const ScreenRect& rect) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = L"QuorvaneTwoMonitorsWindow";
        RegisterClassExW(&wc);  // a second registration fails harmlessly
        hwnd_ = CreateWindowExW(0, wc.lpszClassName, title, WS_OVERLAPPEDWINDOW, rect.left, rect.top, rect.width(),
                                rect.height(), nullptr, nullptr, wc.hInstance, this);
        if (hwnd_ != nullptr) ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
        pump();
    }
    ~RealWindow() {
        if (hwnd_ != nullptr) DestroyWindow(hwnd_);
        pump();
    }
    RealWindow(const RealWindow&) = delete;
    RealWindow& operator=(const RealWindow&) = delete;

    bool ok() const { return hwnd_ != nullptr; }
    HWND hwnd() const { return hwnd_; }
    WindowHandle handle() const { return reinterpret_cast<std::uintptr_t>(hwnd_); }
    int displayChanges() const { return displayChanges_; }
    const std::vector<ScreenRect>& maximisedAt() const { return maximisedAt_; }

    ScreenRect rect() const {
        RECT r{};
        GetWindowRect(hwnd_, &r);
        return ScreenRect{r.left, r.top, r.right, r.bottom};
    }

private:
    static LRESULT CALLBACK proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<RealWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (message == WM_DISPLAYCHANGE && self != nullptr) ++self->displayChanges_;
        if (message == WM_SIZE && wParam == SIZE_MAXIMIZED && self != nullptr) {
            RECT r{};
            GetWindowRect(hwnd, &r);
            self->maximisedAt_.push_back(ScreenRect{r.left, r.top, r.right, r.bottom});
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }

    HWND hwnd_ = nullptr;
    int displayChanges_ = 0;
    std::vector<ScreenRect> maximisedAt_;
};

// The rectangle a user sees of the window: DWM's frame bounds where Wine has
// them, else the window rectangle (which then is what the service placed).
ScreenRect visibleFrame(Win32WindowSystem& system, const RealWindow& window) {
    ScreenRect frame;
    if (system.dwmExtendedFrameBounds(window.handle(), frame)) return frame;
    return window.rect();
}

const DisplayInfo* byGdiName(const std::vector<DisplayInfo>& displays, const std::string& gdiName) {
    for (const DisplayInfo& info : displays)
        if (info.gdiName == gdiName) return &info;
    return nullptr;
}

const SystemMonitor* monitorNamed(const std::vector<SystemMonitor>& monitors, const std::string& device) {
    for (const SystemMonitor& monitor : monitors)
        if (monitor.device == device) return &monitor;
    return nullptr;
}

// The real display stack and placement service, with the two displays' keys.
class TwoMonitorsFixture : public TwoMonitorTest {
protected:
    void SetUp() override {
        TwoMonitorTest::SetUp();
        if (IsSkipped()) return;
        const std::vector<DisplayInfo> displays = manager.enumerate();
        const DisplayInfo* left = byGdiName(displays, kLeft.gdiName);
        const DisplayInfo* right = byGdiName(displays, kRight.gdiName);
        ASSERT_TRUE(left != nullptr && right != nullptr) << "the tier's two displays are not both there";
        leftKey = left->key;
        rightKey = right->key;
        // The literal rectangles below assume each work area is its whole
        // monitor, as Wine reports it without a taskbar.
        for (const ExpectedDisplay* expected : {&kLeft, &kRight}) {
            const std::vector<SystemMonitor> monitors = systemMonitors();
            const SystemMonitor* monitor = monitorNamed(monitors, expected->gdiName);
            ASSERT_NE(monitor, nullptr) << expected->gdiName;
            ASSERT_EQ(monitor->work, expected->rect) << expected->gdiName << "'s work area";
        }
    }

    Win32DisplayConfigApi api;
    DisplayManager manager{api};
    Win32WindowSystem system;
    WindowPlacement placement{system, manager};
    std::string leftKey;
    std::string rightKey;
};

// --- The display list ------------------------------------------------------------

using TwoMonitorsDisplays = TwoMonitorsFixture;

TEST_F(TwoMonitorsDisplays, ListsBothWithTheirRectanglesAndKeysOfTheirOwn) {
    const std::vector<DisplayInfo> displays = manager.enumerate();
    ASSERT_EQ(displays.size(), 2u);
    for (const ExpectedDisplay& expected : {kLeft, kRight}) {
        SCOPED_TRACE(expected.gdiName);
        const DisplayInfo* info = byGdiName(displays, expected.gdiName);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->posX, expected.rect.left);
        EXPECT_EQ(info->posY, expected.rect.top);
        EXPECT_EQ(static_cast<std::int32_t>(info->width), expected.rect.width());
        EXPECT_EQ(static_cast<std::int32_t>(info->height), expected.rect.height());
        EXPECT_EQ(info->primary, expected.primary);
        EXPECT_TRUE(info->active);
        EXPECT_FALSE(info->key.empty());
        EXPECT_FALSE(manager.modes(info->key).empty());
        // The monitor the window system sees for that device has the same rectangle.
        const std::vector<SystemMonitor> monitors = systemMonitors();
        const SystemMonitor* monitor = monitorNamed(monitors, expected.gdiName);
        ASSERT_NE(monitor, nullptr);
        EXPECT_EQ(monitor->monitor, expected.rect);
        EXPECT_EQ(monitor->primary, expected.primary);
    }
    EXPECT_NE(displays[0].key, displays[1].key);
    EXPECT_EQ(manager.primaryKey(), leftKey);

    // The keys are the same on the next enumeration.
    const std::vector<DisplayInfo> again = manager.enumerate();
    ASSERT_EQ(again.size(), 2u);
    ASSERT_TRUE(byGdiName(again, kLeft.gdiName) != nullptr && byGdiName(again, kRight.gdiName) != nullptr);
    EXPECT_EQ(byGdiName(again, kLeft.gdiName)->key, leftKey);
    EXPECT_EQ(byGdiName(again, kRight.gdiName)->key, rightKey);
}

TEST_F(TwoMonitorsDisplays, FindsEachWindowsDisplayByWhereItLies) {
    RealWindow left(L"Quorvane left window", {100, 100, 740, 580});
    RealWindow right(L"Quorvane right window", {2100, 200, 2740, 680});
    // Mostly on the right display, a little on the left one.
    RealWindow straddling(L"Quorvane straddling window", {1800, 300, 2600, 800});
    ASSERT_TRUE(left.ok() && right.ok() && straddling.ok());
    EXPECT_EQ(placement.displayOfWindow(left.handle()), leftKey);
    EXPECT_EQ(placement.displayOfWindow(right.handle()), rightKey);
    EXPECT_EQ(placement.displayOfWindow(straddling.handle()), rightKey);

    std::vector<WindowHandle> onRight;
    for (const WindowEntry& entry : placement.windowsOnDisplay(rightKey)) onRight.push_back(entry.window);
    EXPECT_NE(std::find(onRight.begin(), onRight.end(), right.handle()), onRight.end());
    EXPECT_NE(std::find(onRight.begin(), onRight.end(), straddling.handle()), onRight.end());
    EXPECT_EQ(std::find(onRight.begin(), onRight.end(), left.handle()), onRight.end());
}

// --- Gather, grab, tile and snap onto the second display ------------------------

using TwoMonitorsPlacement = TwoMonitorsFixture;

TEST_F(TwoMonitorsPlacement, GatherCentresTheFirstDisplaysWindowsOnTheSecond) {
    RealWindow small(L"Quorvane small window", {100, 100, 740, 580});
    RealWindow large(L"Quorvane large window", {300, 200, 1100, 800});
    // Wider than the target's work area: it keeps the work area's width.
    RealWindow wide(L"Quorvane wide window", {0, 50, 2400, 450});
    RealWindow already(L"Quorvane window already right", {2000, 100, 2400, 400});
    ASSERT_TRUE(small.ok() && large.ok() && wide.ok() && already.ok());

    const MoveReport report = placement.gatherWindows(rightKey);
    EXPECT_TRUE(report.ok);
    EXPECT_GE(report.moved, 3);
    EXPECT_EQ(report.refused, 0);

    struct Case {
        const RealWindow* window;
        ScreenRect expected;
    };
    const Case cases[] = {
        {&small, {2560, 300, 3200, 780}},
        {&large, {2480, 240, 3280, 840}},
        {&wide, {1920, 340, 3840, 740}},
        {&already, {2000, 100, 2400, 400}},  // left where it was
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.window->rect(), c.expected);
        EXPECT_EQ(placement.displayOfWindow(c.window->handle()), rightKey);
    }
}

TEST_F(TwoMonitorsPlacement, GrabBringsAWindowOverAndKeepsItMaximised) {
    RealWindow plain(L"Quorvane grabbed window", {200, 150, 840, 630});
    RealWindow maximised(L"Quorvane maximised window", {300, 300, 940, 780});
    ASSERT_TRUE(plain.ok() && maximised.ok());
    ShowWindow(maximised.hwnd(), SW_SHOWMAXIMIZED);
    pump();
    ASSERT_TRUE(IsZoomed(maximised.hwnd()));
    ASSERT_EQ(placement.displayOfWindow(maximised.handle()), leftKey);

    ASSERT_TRUE(placement.grabWindow(plain.handle(), rightKey));
    EXPECT_EQ(plain.rect(), (ScreenRect{2560, 300, 3200, 780}));

    // A maximised window is moved restored and maximised again on the target:
    // it then fills the right display, not the left one.
    const size_t maximisesBefore = maximised.maximisedAt().size();
    ASSERT_TRUE(placement.grabWindow(maximised.handle(), rightKey));
    ASSERT_GT(maximised.maximisedAt().size(), maximisesBefore) << "not maximised again";
    const ScreenRect last = maximised.maximisedAt().back();
    const RECT lastRect{last.left, last.top, last.right, last.bottom};
    MONITORINFO info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetMonitorInfoW(MonitorFromRect(&lastRect, MONITOR_DEFAULTTONULL), &info));
    EXPECT_EQ(info.rcMonitor.left, kRight.rect.left) << "maximised on the wrong monitor";
    // Wine then takes the maximised state back (the X events of the restore
    // before the move arrive after the new maximise, even for a window whose
    // thread keeps pumping), so the window ends restored. Where it ends is
    // still the right display, at the centred place it was moved to.
    pump();
    EXPECT_EQ(placement.displayOfWindow(maximised.handle()), rightKey);
    if (!IsZoomed(maximised.hwnd())) {
        EXPECT_EQ(maximised.rect(), (ScreenRect{2560, 300, 3200, 780}));
    }
}

TEST_F(TwoMonitorsPlacement, TileFillsTheSecondDisplaysGridTopWindowFirst) {
    RealWindow first(L"Quorvane tiled 1", {2000, 100, 2500, 500});
    RealWindow second(L"Quorvane tiled 2", {2100, 200, 2600, 600});
    RealWindow third(L"Quorvane tiled 3", {2200, 300, 2700, 700});
    RealWindow elsewhere(L"Quorvane untiled left", {100, 100, 600, 500});
    ASSERT_TRUE(first.ok() && second.ok() && third.ok() && elsewhere.ok());
    // Z order from the top: first, second, third.
    for (const RealWindow* window : {&third, &second, &first})
        SetWindowPos(window->hwnd(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    pump();

    const MoveReport report = placement.tileWindows(rightKey, Grid{2, 2});
    EXPECT_TRUE(report.ok);
    EXPECT_EQ(report.moved, 3);
    EXPECT_EQ(report.refused, 0);

    // The right display's 2x2 cells, row by row.
    EXPECT_EQ(visibleFrame(system, first), (ScreenRect{1920, 0, 2880, 540}));
    EXPECT_EQ(visibleFrame(system, second), (ScreenRect{2880, 0, 3840, 540}));
    EXPECT_EQ(visibleFrame(system, third), (ScreenRect{1920, 540, 2880, 1080}));
    EXPECT_EQ(elsewhere.rect(), (ScreenRect{100, 100, 600, 500}));
}

TEST_F(TwoMonitorsPlacement, SnapPutsAWindowIntoACellOfTheSecondDisplay) {
    RealWindow window(L"Quorvane snapped across", {100, 100, 740, 580});
    ASSERT_TRUE(window.ok());

    // Cell rectangles of the right display, uneven divisions included
    // (1080 rows in three: 360 each; 1920 columns in seven: 275 for the first two, 274 after).
    struct Case {
        Grid grid;
        std::int32_t cell;
        ScreenRect expected;
    };
    const Case cases[] = {
        {{3, 2}, 4, {2560, 540, 3200, 1080}},
        {{2, 1}, 0, {1920, 0, 2880, 1080}},
        {{1, 3}, 2, {1920, 720, 3840, 1080}},
        {{7, 1}, 6, {3566, 0, 3840, 1080}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.grid.text() + " cell " + std::to_string(c.cell));
        ASSERT_TRUE(placement.snapWindow(window.handle(), rightKey, c.grid, c.cell));
        EXPECT_EQ(visibleFrame(system, window), c.expected);
        EXPECT_EQ(placement.displayOfWindow(window.handle()), rightKey);
    }
    // Back to the left display's cell, by its own key.
    ASSERT_TRUE(placement.snapWindow(window.handle(), leftKey, Grid{2, 2}, 3));
    EXPECT_EQ(visibleFrame(system, window), (ScreenRect{960, 540, 1920, 1080}));
}

// --- Changes Wine carries out on the second display -----------------------------

// Puts the right display back as the tier laid it out, whatever the test did:
// attached, 1920x1080 at 1920,0. Straight through user32, so a fault of the
// program cannot leave the following tests with one monitor.
void restoreRightDisplay() {
    DEVMODEW mode{};
    mode.dmSize = sizeof mode;
    const std::vector<SystemMonitor> monitors = systemMonitors();
    const SystemMonitor* right = monitorNamed(monitors, kRight.gdiName);
    if (right != nullptr && right->monitor == kRight.rect) return;
    mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_POSITION;
    mode.dmPelsWidth = static_cast<DWORD>(kRight.rect.width());
    mode.dmPelsHeight = static_cast<DWORD>(kRight.rect.height());
    mode.dmPosition.x = kRight.rect.left;
    mode.dmPosition.y = kRight.rect.top;
    ChangeDisplaySettingsExW(L"\\\\.\\DISPLAY2", &mode, nullptr, CDS_UPDATEREGISTRY, nullptr);
    pump();
}

class TwoMonitorsChanges : public TwoMonitorsFixture {
protected:
    void TearDown() override {
        // A skipped test changed nothing, and there may be no second display to put back.
        if (IsSkipped()) return;
        restoreRightDisplay();
        const std::vector<SystemMonitor> monitors = systemMonitors();
        const SystemMonitor* right = monitorNamed(monitors, kRight.gdiName);
        EXPECT_TRUE(right != nullptr && right->monitor == kRight.rect) << "the right display was not put back";
    }
};

TEST_F(TwoMonitorsChanges, AModeOnTheSecondDisplayIsSetAndReadBack) {
    const std::vector<DisplayMode> modes = manager.modes(rightKey);
    const auto lists = [&](std::uint32_t width, std::uint32_t height) {
        return std::any_of(modes.begin(), modes.end(),
                           [&](const DisplayMode& m) { return m.width == width && m.height == height; });
    };
    ASSERT_TRUE(lists(1280, 720)) << "the dummy output lists no 1280x720 mode";
    RealWindow watcher(L"Quorvane display change watcher", {100, 100, 500, 400});
    ASSERT_TRUE(watcher.ok());

    const ActionResult result = manager.setMode(rightKey, 1280, 720, 0);
    ASSERT_TRUE(result.ok) << result.message;
    pump();

    // Read back through a fresh enumeration and through the window system.
    const std::vector<DisplayInfo> displays = manager.enumerate();
    ASSERT_EQ(displays.size(), 2u);
    const DisplayInfo* right = byGdiName(displays, kRight.gdiName);
    const DisplayInfo* left = byGdiName(displays, kLeft.gdiName);
    ASSERT_TRUE(right != nullptr && left != nullptr);
    EXPECT_EQ(right->key, rightKey);
    EXPECT_EQ(right->width, 1280u);
    EXPECT_EQ(right->height, 720u);
    EXPECT_EQ(right->posX, 1920);
    EXPECT_EQ(left->key, leftKey);
    EXPECT_EQ(left->width, 1920u);
    EXPECT_EQ(left->height, 1080u);
    EXPECT_TRUE(left->primary);
    const std::vector<SystemMonitor> monitors = systemMonitors();
    const SystemMonitor* monitor = monitorNamed(monitors, kRight.gdiName);
    ASSERT_NE(monitor, nullptr);
    EXPECT_EQ(monitor->monitor, (ScreenRect{1920, 0, 3200, 720}));
    // Wine broadcasts this change itself.
    EXPECT_GE(watcher.displayChanges(), 1);

    // The placement service works in the smaller work area.
    RealWindow window(L"Quorvane window on the smaller display", {100, 100, 740, 580});
    ASSERT_TRUE(window.ok());
    ASSERT_TRUE(placement.snapWindow(window.handle(), rightKey, Grid{2, 2}, 3));
    EXPECT_EQ(visibleFrame(system, window), (ScreenRect{2560, 360, 3200, 720}));

    // And back to the tier's mode by the same path.
    const ActionResult back = manager.setMode(rightKey, 1920, 1080, 0);
    ASSERT_TRUE(back.ok) << back.message;
    const std::vector<DisplayInfo> after = manager.enumerate();
    const DisplayInfo* restored = byGdiName(after, kRight.gdiName);
    ASSERT_NE(restored, nullptr);
    EXPECT_EQ(restored->width, 1920u);
    EXPECT_EQ(restored->height, 1080u);
}

TEST_F(TwoMonitorsChanges, DetachingTheSecondDisplayKeepsTheKeysAndItsWindowsComeOver) {
    RealWindow onRight(L"Quorvane window on the detached display", {2200, 200, 2700, 600});
    RealWindow onLeft(L"Quorvane window staying left", {100, 100, 600, 500});
    ASSERT_TRUE(onRight.ok() && onLeft.ok());

    const ActionResult detached = manager.setEnabled(rightKey, false);
    ASSERT_TRUE(detached.ok) << detached.message;
    pump();
    const std::vector<DisplayInfo> displays = manager.enumerate();
    ASSERT_EQ(displays.size(), 1u);
    EXPECT_EQ(displays[0].key, leftKey);
    EXPECT_TRUE(displays[0].primary);
    EXPECT_EQ(systemMonitors().size(), 1u);
    // Wine broadcast the change (a watcher sees it)...
    EXPECT_GE(onLeft.displayChanges(), 1);
    // ...but left the window where the display was: the service sees it on none.
    EXPECT_EQ(placement.displayOfWindow(onRight.handle()), "");
    // Gathering onto the detached display is refused.
    EXPECT_FALSE(placement.gatherWindows(rightKey).ok);

    // Windows moves such windows onto a remaining monitor; played here.
    EXPECT_GE(playWindowsDisplayChange(), 1);
    EXPECT_EQ(onRight.rect(), (ScreenRect{1420, 200, 1920, 600}));
    EXPECT_EQ(placement.displayOfWindow(onRight.handle()), leftKey);
    EXPECT_EQ(onLeft.rect(), (ScreenRect{100, 100, 600, 500}));

    // Attached again, the display comes back under the key it had.
    restoreRightDisplay();
    const std::vector<DisplayInfo> back = manager.enumerate();
    ASSERT_EQ(back.size(), 2u);
    const DisplayInfo* right = byGdiName(back, kRight.gdiName);
    const DisplayInfo* left = byGdiName(back, kLeft.gdiName);
    ASSERT_TRUE(right != nullptr && left != nullptr);
    EXPECT_EQ(right->key, rightKey);
    EXPECT_EQ(left->key, leftKey);
    ASSERT_TRUE(placement.grabWindow(onRight.handle(), rightKey));
    EXPECT_EQ(placement.displayOfWindow(onRight.handle()), rightKey);
}

} // namespace
} // namespace qv
