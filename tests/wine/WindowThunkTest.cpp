// The shared window procedure against real user32 windows: which messages
// reach the object for each set of options, and when the window lets go of it.
#include "base/win32/WindowThunk.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace qv {
namespace {

constexpr UINT kProbe = WM_APP + 7;

// Records what the window procedure hands it.
struct Recorder {
    HWND window = nullptr;
    // The window member as it was when WM_CREATE reached the handler.
    HWND windowAtCreate = nullptr;
    std::vector<UINT> seen;
    // GWLP_USERDATA as the handler found it at WM_NCDESTROY.
    LONG_PTR userDataAtNcDestroy = -1;

    LRESULT handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        seen.push_back(message);
        if (message == WM_CREATE) windowAtCreate = window;
        if (message == WM_NCDESTROY) userDataAtNcDestroy = GetWindowLongPtrW(hwnd, GWLP_USERDATA);
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }

    bool saw(UINT message) const { return std::find(seen.begin(), seen.end(), message) != seen.end(); }
};

template <WindowThunkOptions Options>
constexpr WNDPROC thunkWith = windowThunk<Recorder, &Recorder::handle, &Recorder::window, Options>;

struct ThunkCase {
    const char* name;
    WNDPROC procedure;
    // The test names the window in the member once CreateWindowExW returns.
    bool setWindowAfterCreate;
    bool seesCreate;
    bool windowSetAtCreate;
    // Whether the handler still finds itself in GWLP_USERDATA at WM_NCDESTROY.
    bool keptAtNcDestroy;
};

const ThunkCase kThunkCases[] = {
    {"EveryMessage", thunkWith<WindowThunkOptions{}>, false, true, false, false},
    {"ForgetAfterHandler", thunkWith<WindowThunkOptions{.forgetAfterHandler = true}>, false, true, false, true},
    {"OnlyOwnWindow", thunkWith<WindowThunkOptions{.onlyOwnWindow = true}>, true, false, false, false},
    {"SetAtCreate", thunkWith<WindowThunkOptions{.setWindowAtCreate = true}>, false, true, true, false},
    {"SetAtCreateOnlyOwnWindow", thunkWith<WindowThunkOptions{.setWindowAtCreate = true, .onlyOwnWindow = true}>,
     false, true, true, false},
};

// A popup window of a class of its own, so each procedure has its own class.
HWND createWindow(const std::string& name, WNDPROC procedure, void* param) {
    const std::wstring className = L"QuorvaneThunkTest" + std::wstring(name.begin(), name.end());
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = procedure;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = className.c_str();
    RegisterClassExW(&wc); // a second registration fails harmlessly
    return CreateWindowExW(0, wc.lpszClassName, L"thunk", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, wc.hInstance,
                           param);
}

class WindowThunkWine : public ::testing::TestWithParam<ThunkCase> {
protected:
    HWND create(void* param) { return createWindow(GetParam().name, GetParam().procedure, param); }
};

TEST_P(WindowThunkWine, PassesMessagesToTheObjectAndForgetsItAtNcDestroy) {
    const ThunkCase& c = GetParam();
    Recorder recorder;
    const HWND hwnd = create(&recorder);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(GetWindowLongPtrW(hwnd, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&recorder));
    EXPECT_EQ(recorder.saw(WM_CREATE), c.seesCreate);
    EXPECT_EQ(recorder.windowAtCreate, c.windowSetAtCreate ? hwnd : nullptr);
    if (c.setWindowAfterCreate) recorder.window = hwnd;

    SendMessageW(hwnd, kProbe, 0, 0);
    EXPECT_TRUE(recorder.saw(kProbe));

    DestroyWindow(hwnd);
    EXPECT_TRUE(recorder.saw(WM_NCDESTROY));
    EXPECT_EQ(recorder.userDataAtNcDestroy, c.keptAtNcDestroy ? reinterpret_cast<LONG_PTR>(&recorder) : 0);
}

TEST_P(WindowThunkWine, WithoutAnObjectEveryMessageGoesToTheSystem) {
    const HWND hwnd = create(nullptr);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(GetWindowLongPtrW(hwnd, GWLP_USERDATA), 0);
    EXPECT_EQ(SendMessageW(hwnd, kProbe, 0, 0), 0);
    EXPECT_TRUE(DestroyWindow(hwnd));
}

INSTANTIATE_TEST_SUITE_P(Options, WindowThunkWine, ::testing::ValuesIn(kThunkCases),
                         [](const ::testing::TestParamInfo<ThunkCase>& test) { return test.param.name; });

// With onlyOwnWindow, a message reaches the object only while its window
// member names the window: not before it is set, not once it is reset (as the
// windows do at WM_DESTROY), WM_NCDESTROY included.
TEST(WindowThunkWine, OnlyOwnWindowKeepsMessagesFromAnObjectThatLetGoOfItsWindow) {
    Recorder recorder;
    const HWND hwnd = createWindow("LetGo", thunkWith<WindowThunkOptions{.onlyOwnWindow = true}>, &recorder);
    ASSERT_NE(hwnd, nullptr);
    SendMessageW(hwnd, kProbe, 0, 0);
    EXPECT_FALSE(recorder.saw(kProbe));

    recorder.window = hwnd;
    SendMessageW(hwnd, kProbe, 0, 0);
    EXPECT_TRUE(recorder.saw(kProbe));

    recorder.window = nullptr;
    recorder.seen.clear();
    DestroyWindow(hwnd);
    EXPECT_TRUE(recorder.seen.empty());
}

} // namespace
} // namespace qv
