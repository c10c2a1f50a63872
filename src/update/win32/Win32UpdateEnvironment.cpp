#include "update/win32/Win32UpdateEnvironment.h"

#include "base/win32/Utf16.h"

#include <windows.h>

namespace qv {

bool Win32UpdateEnvironment::variable(const std::string& name, std::string& value) {
    wchar_t buffer[512];
    const DWORD length = GetEnvironmentVariableW(widen(name).c_str(), buffer, 512);
    if (length == 0 || length >= 512) return false;
    value = narrow(std::wstring_view(buffer, length));
    return true;
}

bool Win32UpdateEnvironment::tempFolder(std::string& path) {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
    if (length == 0 || length > MAX_PATH) return false;
    path = narrow(std::wstring_view(buffer, length));
    return true;
}

uint32_t Win32UpdateEnvironment::currentProcessId() { return GetCurrentProcessId(); }

} // namespace qv
