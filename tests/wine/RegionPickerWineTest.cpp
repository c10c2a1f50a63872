// The region picker through real user32 and GDI: its window over the
// display, a drag turned into a rectangle on the desktop, a drag too small
// to count, what cancels, the keyboard focus taken back, a quit request that
// arrives while it is open, and bounds it cannot make a bitmap for.
#include "WineTestSupport.h"
#include "ui/win32/Win32RegionPicker.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace qv {
namespace {

uint64_t instance() { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr))); }

using Step = ModalSteps::Step;

// Window coordinates as a mouse message carries them, signed 16-bit each.
LPARAM at(int x, int y) {
    return MAKELPARAM(static_cast<WORD>(static_cast<short>(x)), static_cast<WORD>(static_cast<short>(y)));
}

Step down(int x, int y) {
    return [=](HWND picker) { PostMessageW(picker, WM_LBUTTONDOWN, MK_LBUTTON, at(x, y)); };
}
Step move(int x, int y) {
    return [=](HWND picker) { PostMessageW(picker, WM_MOUSEMOVE, MK_LBUTTON, at(x, y)); };
}
Step up(int x, int y) {
    return [=](HWND picker) { PostMessageW(picker, WM_LBUTTONUP, 0, at(x, y)); };
}
Step escape() {
    return [](HWND picker) { PostMessageW(picker, WM_KEYDOWN, VK_ESCAPE, 1); };
}

struct Outcome {
    bool picked = false;
    ScreenRect result{-1, -1, -1, -1};
};

// Runs a pick over the bounds with the steps acting on it.
Outcome pick(const ScreenRect& bounds, std::vector<Step> steps) {
    const size_t count = steps.size();
    ModalSteps user(Win32RegionPicker::kClassName, std::move(steps));
    Win32RegionPicker picker;
    Outcome outcome;
    outcome.picked = picker.pick(instance(), bounds, outcome.result);
    EXPECT_EQ(user.stepsRun(), count);
    EXPECT_FALSE(user.timedOut()) << "the steps did not end the pick";
    EXPECT_EQ(FindWindowW(Win32RegionPicker::kClassName, nullptr), nullptr) << "the picker is still there";
    EXPECT_EQ(GetCapture(), nullptr) << "the mouse is still captured";
    return outcome;
}

std::string text(const ScreenRect& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

TEST(RegionPickerWine, CoversTheDisplayWithALayeredTopmostWindowThatHasTheFocus) {
    const ScreenRect bounds{100, 50, 900, 650};
    bool checked = false;
    const Step look = [&](HWND picker) {
        checked = true;
        wchar_t name[64] = {};
        GetClassNameW(picker, name, 64);
        EXPECT_EQ(std::wstring(name), L"QuorvaneRegionPicker");
        wchar_t title[64] = {};
        GetWindowTextW(picker, title, 64);
        EXPECT_EQ(std::wstring(title), L"Select recording region");
        const LONG_PTR wanted = WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
        EXPECT_EQ(GetWindowLongPtrW(picker, GWL_EXSTYLE) & wanted, wanted);
        EXPECT_EQ(GetWindowLongPtrW(picker, GWL_STYLE) & WS_POPUP, WS_POPUP);
        EXPECT_EQ(GetClassLongPtrW(picker, GCLP_HCURSOR), reinterpret_cast<ULONG_PTR>(LoadCursorW(nullptr, IDC_CROSS)));
        EXPECT_EQ(GetClassLongPtrW(picker, GCLP_HBRBACKGROUND), 0u);
        RECT r{};
        GetWindowRect(picker, &r);
        EXPECT_EQ(text(ScreenRect{r.left, r.top, r.right, r.bottom}), text(bounds));
        EXPECT_EQ(GetForegroundWindow(), picker);
        EXPECT_EQ(GetFocus(), picker);
    };
    const Outcome outcome = pick(bounds, {look, escape()});
    EXPECT_TRUE(checked);
    EXPECT_FALSE(outcome.picked);
    EXPECT_EQ(text(outcome.result), "-1,-1,-1,-1") << "a cancelled pick leaves the result alone";
}

TEST(RegionPickerWine, ADragGivesTheRectangleOnTheDesktop) {
    struct Case {
        const char* what;
        ScreenRect bounds;
        int fromX, fromY, toX, toY;
        const char* result;
    };
    const Case cases[] = {
        {"a display left of the primary", {-1920, 0, 0, 1080}, 100, 100, 500, 400, "-1820,100,-1420,400"},
        {"drawn up and left", {-1920, 0, 0, 1080}, 500, 400, 100, 100, "-1820,100,-1420,400"},
        {"past the display's edge with the mouse captured", {0, 0, 800, 600}, 700, 500, 900, -20, "700,0,800,500"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HWND captured = nullptr;
        const Outcome outcome = pick(c.bounds, {down(c.fromX, c.fromY), [&](HWND) { captured = GetCapture(); },
                                                move((c.fromX + c.toX) / 2, (c.fromY + c.toY) / 2),
                                                move(c.toX, c.toY), up(c.toX, c.toY)});
        EXPECT_NE(captured, nullptr) << "the mouse is captured during the drag";
        EXPECT_TRUE(outcome.picked);
        EXPECT_EQ(text(outcome.result), c.result);
    }
}

TEST(RegionPickerWine, ADragUnderSixteenPixelsLeavesThePickerOpen) {
    bool open = false;
    HWND capturedAfter = reinterpret_cast<HWND>(1);
    const Outcome outcome = pick(ScreenRect{0, 0, 800, 600}, {down(100, 100), move(115, 400), up(115, 400),
                                                              [&](HWND picker) {
                                                                  open = IsWindowVisible(picker) != FALSE;
                                                                  capturedAfter = GetCapture();
                                                              },
                                                              down(200, 200), move(400, 300), up(400, 300)});
    EXPECT_TRUE(open);
    EXPECT_EQ(capturedAfter, nullptr);
    EXPECT_TRUE(outcome.picked);
    EXPECT_EQ(text(outcome.result), "200,200,400,300");
}

// A visible window of the test's own that takes the activation from the picker.
class OtherWindow {
public:
    OtherWindow() {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"QvPickerOtherTest";
        RegisterClassExW(&windowClass);
        hwnd = CreateWindowExW(0, L"QvPickerOtherTest", L"Other", WS_OVERLAPPEDWINDOW, 1000, 100, 300, 200, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    ~OtherWindow() { DestroyWindow(hwnd); }
    OtherWindow(const OtherWindow&) = delete;
    OtherWindow& operator=(const OtherWindow&) = delete;

    HWND hwnd = nullptr;
};

TEST(RegionPickerWine, EscapeTheRightButtonOrAnotherWindowCancelADrag) {
    OtherWindow other;
    ASSERT_NE(other.hwnd, nullptr);
    struct Case {
        const char* what;
        Step act;
    };
    const Case cases[] = {
        {"Esc", escape()},
        {"right button", [](HWND picker) { PostMessageW(picker, WM_RBUTTONDOWN, MK_RBUTTON, at(300, 300)); }},
        {"another visible window activated",
         [&](HWND) {
             ShowWindow(other.hwnd, SW_SHOW);
             SetActiveWindow(other.hwnd);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ShowWindow(other.hwnd, SW_HIDE);
        const Outcome outcome = pick(ScreenRect{0, 0, 800, 600}, {down(100, 100), move(300, 300), c.act});
        EXPECT_FALSE(outcome.picked);
    }
}

TEST(RegionPickerWine, TakesTheKeyboardFocusBackWhileInFront) {
    HWND focus = nullptr;
    HWND self = nullptr;
    const Outcome outcome = pick(ScreenRect{0, 0, 800, 600}, {[](HWND) { SetFocus(nullptr); },
                                                              [&](HWND picker) {
                                                                  self = picker;
                                                                  focus = GetFocus();
                                                              },
                                                              escape()});
    EXPECT_EQ(focus, self);
    EXPECT_FALSE(outcome.picked);
}

TEST(RegionPickerWine, AQuitRequestEndsThePickAndIsPostedAgain) {
    const Outcome outcome = pick(ScreenRect{0, 0, 800, 600}, {down(100, 100), move(400, 400),
                                                              [](HWND) { PostQuitMessage(7); }});
    EXPECT_FALSE(outcome.picked);
    MSG msg{};
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the quit request was swallowed";
    EXPECT_EQ(msg.wParam, 7u);
}

TEST(RegionPickerWine, BoundsWithoutAPictureShowNothing) {
    struct Case {
        const char* what;
        ScreenRect bounds;
        const char* log;
    };
    const Case cases[] = {
        {"empty", {0, 0, 0, 0}, nullptr},
        {"right of left", {10, 10, 5, 100}, nullptr},
        {"bottom above top", {0, 0, 100, -1}, nullptr},
        {"a bitmap over 2 GiB", {0, 0, 40000, 40000}, "RegionPicker: DIB creation failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CapturedLog log;
        Win32RegionPicker picker;
        ScreenRect result{-1, -1, -1, -1};
        EXPECT_FALSE(picker.pick(instance(), c.bounds, result));
        EXPECT_EQ(text(result), "-1,-1,-1,-1");
        EXPECT_EQ(FindWindowW(Win32RegionPicker::kClassName, nullptr), nullptr);
        if (c.log != nullptr) {
            EXPECT_TRUE(log.has("ERR", c.log));
        } else {
            EXPECT_TRUE(log.lines.empty());
        }
    }
}

} // namespace
} // namespace qv
