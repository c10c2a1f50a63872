// The text prompt through real user32: its window and controls, answers by
// keyboard, buttons and the close box, the owner disabled while it is open,
// where it opens, and a quit request that arrives while it is open.
#include "base/win32/Utf16.h"
#include "ui/win32/Win32TextPrompt.h"
#include "wine/WineTestSupport.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>

namespace qv {
namespace {

uint64_t instance() { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr))); }
WindowHandle handle(HWND hwnd) { return static_cast<WindowHandle>(reinterpret_cast<uintptr_t>(hwnd)); }

std::wstring textOf(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

HWND editOf(HWND prompt) { return FindWindowExW(prompt, nullptr, L"Edit", nullptr); }

void press(HWND target, UINT key) {
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

void type(HWND target, const wchar_t* text) {
    for (const wchar_t* c = text; *c != 0; ++c) PostMessageW(target, WM_CHAR, *c, 1);
}

// Runs the prompt without an owner, the step acting on it once it is open.
bool ask(std::string& text, const std::function<void(HWND)>& step, WindowHandle owner = 0) {
    ModalSteps user(Win32TextPrompt::kClassName, {step});
    Win32TextPrompt prompt(instance());
    const bool answer = prompt.prompt(owner, "Rename display", "Display name:", text);
    EXPECT_EQ(user.stepsRun(), 1u);
    EXPECT_FALSE(user.timedOut()) << "the step did not close the prompt";
    EXPECT_EQ(FindWindowW(Win32TextPrompt::kClassName, nullptr), nullptr) << "the prompt is still there";
    return answer;
}

// A visible top-level window of the test's own, to own the prompt.
class OwnerWindow {
public:
    OwnerWindow() {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"QvPromptOwnerTest";
        RegisterClassExW(&windowClass);
        hwnd = CreateWindowExW(0, L"QvPromptOwnerTest", L"Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 200, 150, 801,
                               601, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    ~OwnerWindow() { DestroyWindow(hwnd); }
    OwnerWindow(const OwnerWindow&) = delete;
    OwnerWindow& operator=(const OwnerWindow&) = delete;

    HWND hwnd = nullptr;
};

TEST(TextPromptWine, OpensWithItsControlsAndEnterKeepsTheValue) {
    std::string text = "DELL U2720Q";
    bool checked = false;
    const bool answer = ask(text, [&](HWND prompt) {
        checked = true;
        EXPECT_EQ(textOf(prompt), L"Rename display");
        const LONG_PTR style = GetWindowLongPtrW(prompt, GWL_STYLE);
        EXPECT_EQ(style & (WS_POPUPWINDOW | WS_DLGFRAME), WS_POPUPWINDOW | WS_DLGFRAME);
        EXPECT_EQ(GetWindowLongPtrW(prompt, GWL_EXSTYLE) & (WS_EX_TOPMOST | WS_EX_DLGMODALFRAME),
                  WS_EX_TOPMOST | WS_EX_DLGMODALFRAME);
        RECT frame{};
        GetWindowRect(prompt, &frame);
        EXPECT_EQ(frame.right - frame.left, 380);
        EXPECT_EQ(frame.bottom - frame.top, 158);

        // The four controls, found by their captions, with the font of -15.
        EXPECT_NE(FindWindowExW(prompt, nullptr, L"Static", L"Display name:"), nullptr);
        HWND ok = FindWindowExW(prompt, nullptr, L"Button", L"OK");
        HWND cancel = FindWindowExW(prompt, nullptr, L"Button", L"Cancel");
        ASSERT_NE(ok, nullptr);
        ASSERT_NE(cancel, nullptr);
        EXPECT_EQ(GetDlgCtrlID(ok), IDOK);
        EXPECT_EQ(GetDlgCtrlID(cancel), IDCANCEL);
        EXPECT_EQ(GetWindowLongPtrW(ok, GWL_STYLE) & 0x0F, BS_DEFPUSHBUTTON);
        HWND edit = editOf(prompt);
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(textOf(edit), L"DELL U2720Q");
        EXPECT_EQ(GetWindowLongPtrW(edit, GWL_EXSTYLE) & WS_EX_CLIENTEDGE, WS_EX_CLIENTEDGE);
        LOGFONTW font{};
        ASSERT_TRUE(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(edit, WM_GETFONT, 0, 0)), sizeof font, &font));
        EXPECT_EQ(font.lfHeight, -15);
        EXPECT_EQ(font.lfWeight, FW_NORMAL);

        // The field has the focus with all of its text selected.
        EXPECT_EQ(GetFocus(), edit);
        DWORD start = 0, end = 0;
        SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(start, 0u);
        EXPECT_EQ(end, 11u);

        // The colours: light text, the edit's own background, transparent labels.
        HDC dc = GetDC(prompt);
        const auto editBrush = reinterpret_cast<HBRUSH>(
            SendMessageW(prompt, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(edit)));
        EXPECT_EQ(GetTextColor(dc), RGB(243, 245, 248));
        EXPECT_EQ(GetBkColor(dc), RGB(28, 30, 38));
        LOGBRUSH brush{};
        ASSERT_TRUE(GetObjectW(editBrush, sizeof brush, &brush));
        EXPECT_EQ(brush.lbColor, RGB(28, 30, 38));
        const auto labelBrush = reinterpret_cast<HBRUSH>(
            SendMessageW(prompt, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), 0));
        EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
        ASSERT_TRUE(GetObjectW(labelBrush, sizeof brush, &brush));
        EXPECT_EQ(brush.lbColor, RGB(18, 19, 24));
        ReleaseDC(prompt, dc);

        press(edit, VK_RETURN);
    });
    EXPECT_TRUE(checked);
    EXPECT_TRUE(answer);
    EXPECT_EQ(text, "DELL U2720Q");
}

TEST(TextPromptWine, TypedTextIsReturnedExactlyAsTyped) {
    struct Case {
        const char* what;
        std::function<void(HWND)> step;
        const char* result;
    };
    const Case cases[] = {
        {"typing over the selected value, then Enter",
         [](HWND prompt) {
             type(editOf(prompt), L"  Büro links ");
             press(editOf(prompt), VK_RETURN);
         },
         "  Büro links "},
        {"an emptied field confirmed with OK",
         [](HWND prompt) {
             SetWindowTextW(editOf(prompt), L"");
             SendMessageW(GetDlgItem(prompt, IDOK), BM_CLICK, 0, 0);
         },
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string text = "Display 2";
        EXPECT_TRUE(ask(text, c.step));
        EXPECT_EQ(text, c.result);
    }
}

TEST(TextPromptWine, CancellingLeavesTheTextAsItWas) {
    struct Case {
        const char* what;
        std::function<void(HWND)> step;
    };
    const Case cases[] = {
        {"Escape", [](HWND prompt) {
             type(editOf(prompt), L"typed");
             press(editOf(prompt), VK_ESCAPE);
         }},
        {"Cancel", [](HWND prompt) {
             SetWindowTextW(editOf(prompt), L"typed");
             SendMessageW(GetDlgItem(prompt, IDCANCEL), BM_CLICK, 0, 0);
         }},
        {"the close box", [](HWND prompt) {
             SetWindowTextW(editOf(prompt), L"typed");
             PostMessageW(prompt, WM_CLOSE, 0, 0);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string text = "Display 2";
        EXPECT_FALSE(ask(text, c.step));
        EXPECT_EQ(text, "Display 2");
    }

    // Each prompt used the one class, registered as the first one left it.
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    ASSERT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), Win32TextPrompt::kClassName, &windowClass));
    EXPECT_EQ(windowClass.cbSize, 80u);
    EXPECT_EQ(windowClass.style, 0u);
    EXPECT_EQ(windowClass.hbrBackground, nullptr);
}

TEST(TextPromptWine, TheOwnerIsDisabledWhileItIsOpenAndThePromptCentredOverIt) {
    OwnerWindow owner;
    ASSERT_NE(owner.hwnd, nullptr);
    RECT ownerRect{};
    GetWindowRect(owner.hwnd, &ownerRect);
    RECT promptRect{};
    BOOL enabledWhileOpen = TRUE;
    std::string text = "Display 1";
    EXPECT_FALSE(ask(
        text,
        [&](HWND prompt) {
            enabledWhileOpen = IsWindowEnabled(owner.hwnd);
            GetWindowRect(prompt, &promptRect);
            EXPECT_EQ(GetWindow(prompt, GW_OWNER), owner.hwnd);
            press(editOf(prompt), VK_ESCAPE);
        },
        handle(owner.hwnd)));
    EXPECT_FALSE(enabledWhileOpen);
    EXPECT_TRUE(IsWindowEnabled(owner.hwnd));
    const UINT dpi = GetDpiForWindow(owner.hwnd) != 0 ? GetDpiForWindow(owner.hwnd) : 96;
    const int width = MulDiv(380, static_cast<int>(dpi), 96);
    const int height = MulDiv(158, static_cast<int>(dpi), 96);
    EXPECT_EQ(promptRect.left, ownerRect.left + (ownerRect.right - ownerRect.left - width) / 2);
    EXPECT_EQ(promptRect.top, ownerRect.top + (ownerRect.bottom - ownerRect.top - height) / 2);
    EXPECT_EQ(promptRect.right - promptRect.left, width);

    // A hidden owner: the prompt goes to the monitor under the cursor instead.
    ShowWindow(owner.hwnd, SW_HIDE);
    POINT cursor{};
    GetCursorPos(&cursor);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromPoint(cursor, MONITOR_DEFAULTTONEAREST), &monitor);
    EXPECT_FALSE(ask(
        text,
        [&](HWND prompt) {
            GetWindowRect(prompt, &promptRect);
            PostMessageW(prompt, WM_CLOSE, 0, 0);
        },
        handle(owner.hwnd)));
    const RECT& work = monitor.rcWork;
    EXPECT_EQ(promptRect.left, work.left + (work.right - work.left - width) / 2);
    EXPECT_EQ(promptRect.top, work.top + (work.bottom - work.top - height) / 2);

    // An owner that another modal window had disabled stays disabled.
    ShowWindow(owner.hwnd, SW_SHOW);
    EnableWindow(owner.hwnd, FALSE);
    EXPECT_FALSE(ask(
        text, [](HWND prompt) { PostMessageW(prompt, WM_CLOSE, 0, 0); }, handle(owner.hwnd)));
    EXPECT_FALSE(IsWindowEnabled(owner.hwnd));
}

TEST(TextPromptWine, AQuitRequestCancelsThePromptAndIsPassedOn) {
    OwnerWindow owner;
    std::string text = "Display 1";
    EXPECT_FALSE(ask(
        text,
        [](HWND prompt) {
            SetWindowTextW(editOf(prompt), L"typed");
            PostQuitMessage(7);
        },
        handle(owner.hwnd)));
    EXPECT_EQ(text, "Display 1");
    EXPECT_TRUE(IsWindowEnabled(owner.hwnd));

    // The program's main loop sees the same request.
    MSG msg{};
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u);
}

} // namespace
} // namespace qv
