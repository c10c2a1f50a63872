#include "capture/win32/Win32NdiLibrary.h"

#include "base/win32/Utf16.h"

#include <vector>

namespace qv {

bool Win32NdiLibrary::environment(const std::string& name, std::string& value, size_t& utf16Length) {
    const std::wstring wideName = widen(name);
    // The first call gives the size the value needs, its terminator included.
    SetLastError(ERROR_SUCCESS);
    DWORD needed = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (needed == 0) {
        if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
        value.clear();
        utf16Length = 0;
        return true;
    }
    // The value may change between the two calls; read until it fits.
    std::vector<wchar_t> buffer;
    for (;;) {
        buffer.assign(needed, L'\0');
        const DWORD got = GetEnvironmentVariableW(wideName.c_str(), buffer.data(), needed);
        if (got == 0) {
            if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
            value.clear();
            utf16Length = 0;
            return true;
        }
        if (got < needed) {
            value = narrow(std::wstring_view(buffer.data(), got));
            utf16Length = got;
            return true;
        }
        needed = got;
    }
}

std::string Win32NdiLibrary::executableFolder() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD got = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (got == 0) return "";
        if (got < buffer.size()) {
            const std::wstring_view path(buffer.data(), got);
            const size_t slash = path.find_last_of(L'\\');
            if (slash == std::wstring_view::npos) return "";
            return narrow(path.substr(0, slash));
        }
        // Truncated: try again with more room, up to the longest path there is.
        if (buffer.size() >= 32768) return "";
        buffer.resize(buffer.size() * 2);
    }
}

bool Win32NdiLibrary::keep(HMODULE module) {
    if (!module) return false;
    unload();
    module_ = module;
    return true;
}

bool Win32NdiLibrary::loadFromPath(const std::string& path) {
    // The loader wants backslashes in a path, and a folder may have been
    // given with forward slashes.
    std::wstring widePath = widen(path);
    for (wchar_t& c : widePath) {
        if (c == L'/') c = L'\\';
    }
    return keep(LoadLibraryExW(widePath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

bool Win32NdiLibrary::loadByName(const std::string& name) {
    return keep(LoadLibraryExW(widen(name).c_str(), nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS));
}

void* Win32NdiLibrary::symbol(const char* name) {
    if (!module_) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(module_, name));
}

void Win32NdiLibrary::unload() {
    if (module_) FreeLibrary(module_);
    module_ = nullptr;
}

} // namespace qv
