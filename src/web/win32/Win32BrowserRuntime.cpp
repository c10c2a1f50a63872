#include "web/win32/Win32BrowserRuntime.h"

#include <windows.h>

namespace qv {

namespace {

// The string value, or empty when the key or value is missing or not text.
std::wstring readFolder(HKEY root) {
    DWORD bytes = 0;
    const DWORD flags = RRF_RT_REG_SZ | RRF_SUBKEY_WOW6432KEY;
    if (RegGetValueW(root, Win32BrowserRuntime::kClientStateKey, Win32BrowserRuntime::kFolderValue, flags, nullptr,
                     nullptr, &bytes) != ERROR_SUCCESS ||
        bytes < sizeof(wchar_t))
        return {};
    std::wstring text(bytes / sizeof(wchar_t), L'\0');
    if (RegGetValueW(root, Win32BrowserRuntime::kClientStateKey, Win32BrowserRuntime::kFolderValue, flags, nullptr,
                     text.data(), &bytes) != ERROR_SUCCESS)
        return {};
    text.resize(wcsnlen(text.c_str(), text.size()));
    return text;
}

} // namespace

Win32BrowserRuntime::~Win32BrowserRuntime() = default;

std::wstring Win32BrowserRuntime::libraryPath() {
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        std::wstring folder = readFolder(root);
        if (folder.empty()) continue;
        if (folder.back() != L'\\') folder += L'\\';
        return folder + L"EBWebView\\x64\\EmbeddedBrowserWebView.dll";
    }
    return {};
}

void* Win32BrowserRuntime::entryPoint() {
    const std::wstring path = libraryPath();
    if (path.empty()) return nullptr;
    // A runtime updated while the program runs lives in a new folder. The old
    // library stays loaded: a browser started from it may still be running.
    if (module_ != nullptr && path != loadedFrom_) module_ = nullptr;
    if (module_ == nullptr) {
        if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return nullptr;
        module_ = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        if (module_ == nullptr) return nullptr;
        loadedFrom_ = path;
    }
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module_), kEntryPoint));
}

bool Win32BrowserRuntime::available() { return entryPoint() != nullptr; }

} // namespace qv
