#include "base/win32/Win32ProcessApi.h"

#include "base/win32/Win32RegisteredMessages.h"
#include "base/win32/Utf16.h"

#include <windows.h>

#include <objbase.h>
#include <shobjidl.h>

namespace qv {

// mingw's objbase.h and winuser.h, a second source for the start-up flags.
static_assert(ProcessApi::kCoInitApartmentThreaded == COINIT_APARTMENTTHREADED);
static_assert(ProcessApi::kCoInitDisableOle1Dde == COINIT_DISABLE_OLE1DDE);
static_assert(ProcessApi::kMbIconError == MB_ICONERROR);

void Win32ProcessApi::setAppUserModelId(const std::string& id) {
    SetCurrentProcessExplicitAppUserModelID(widen(id).c_str());
}

int32_t Win32ProcessApi::coInitialize(uint32_t flags) {
    return static_cast<int32_t>(CoInitializeEx(nullptr, static_cast<DWORD>(flags)));
}

void Win32ProcessApi::coUninitialize() { CoUninitialize(); }

bool Win32ProcessApi::modulePath(std::string& path) {
    wchar_t buffer[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    if (n == 0) return false;
    path = narrow(std::wstring_view(buffer, n));
    return true;
}

bool Win32ProcessApi::tokenElevation(uint32_t& elevation) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    TOKEN_ELEVATION info{};
    DWORD size = 0;
    BOOL ok = GetTokenInformation(token, TokenElevation, &info, sizeof info, &size);
    CloseHandle(token);
    if (!ok) return false;
    elevation = info.TokenIsElevated;
    return true;
}

void Win32ProcessApi::broadcastRegisteredMessage(const std::string& name) {
    PostMessageW(HWND_BROADCAST, registeredMessage(name), 0, 0);
}

void Win32ProcessApi::postQuit(int exitCode) { PostQuitMessage(exitCode); }

void Win32ProcessApi::messageBox(const std::string& text, const std::string& title, uint32_t flags) {
    MessageBoxW(nullptr, widen(text).c_str(), widen(title).c_str(), flags);
}

int Win32ProcessApi::runMessageLoop() {
    MSG msg{};
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

} // namespace qv
