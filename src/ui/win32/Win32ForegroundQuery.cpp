#include "ui/win32/Win32ForegroundQuery.h"

#include "base/win32/Utf16.h"

#include <windows.h>

#include <dwmapi.h>

#include <cstdint>
#include <cwchar>
#include <iterator>

namespace qv {

namespace {

bool classIs(HWND window, const wchar_t* const* names, size_t count) {
    wchar_t name[64] = {};
    if (GetClassNameW(window, name, static_cast<int>(std::size(name))) == 0) return false;
    for (size_t i = 0; i < count; ++i)
        if (wcscmp(name, names[i]) == 0) return true;
    return false;
}

// The taskbars and the notification area's overflow: clicking a tray icon
// gives them the focus, so in front at that moment is the shell, not the
// application the user was working in.
bool isTaskbar(HWND window) {
    static const wchar_t* const kNames[] = {L"Shell_TrayWnd", L"Shell_SecondaryTrayWnd", L"NotifyIconOverflowWindow",
                                            L"TopLevelWindowForOverflowXamlIsland"};
    return classIs(window, kNames, std::size(kNames));
}

// The desktop behind every window: reaching it means no application is open.
bool isDesktop(HWND window) {
    static const wchar_t* const kNames[] = {L"Progman", L"WorkerW"};
    return classIs(window, kNames, std::size(kNames));
}

// A window the user works in: shown, not a tool window (palettes, the
// shell's own helpers) and not cloaked (suspended or on another virtual
// desktop).
bool isApplicationWindow(HWND window) {
    if (!IsWindowVisible(window)) return false;
    if ((GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0) return false;
    DWORD cloaked = 0;
    if (SUCCEEDED(DwmGetWindowAttribute(window, DWMWA_CLOAKED, &cloaked, sizeof cloaked)) && cloaked != 0)
        return false;
    return !isTaskbar(window);
}

// The application window highest in the Z order, which is the one that was
// in front before the taskbar took the focus; none when the desktop comes
// first. EnumWindows walks the top-level windows from the top down and, unlike
// a walk with GetWindow, cannot be sent round in circles by windows that move
// meanwhile.
HWND topApplicationWindow() {
    HWND found = nullptr;
    EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            if (isDesktop(window)) return FALSE;
            if (!isApplicationWindow(window)) return TRUE;
            *reinterpret_cast<HWND*>(context) = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

} // namespace

ForegroundCapture Win32ForegroundQuery::capture() {
    ForegroundCapture out;
    HWND window = GetForegroundWindow();
    if (window != nullptr && isTaskbar(window)) window = topApplicationWindow();
    if (window == nullptr) return out;
    out.window = static_cast<WindowHandle>(reinterpret_cast<uintptr_t>(window));
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    out.processId = processId;
    if (processId == 0) return out;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr) return out;
    wchar_t path[MAX_PATH];
    DWORD length = MAX_PATH;
    if (QueryFullProcessImageNameW(process, 0, path, &length)) out.imagePath = narrow(std::wstring_view(path, length));
    CloseHandle(process);
    return out;
}

} // namespace qv
