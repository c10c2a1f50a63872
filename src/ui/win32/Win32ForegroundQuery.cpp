#include "ui/win32/Win32ForegroundQuery.h"

#include "base/win32/Utf16.h"

#include <windows.h>

#include <cstdint>

namespace qv {

ForegroundCapture Win32ForegroundQuery::capture() {
    ForegroundCapture out;
    HWND window = GetForegroundWindow();
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
