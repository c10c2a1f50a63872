#pragma once
#include "web/BrowserRuntime.h"

#include <string>

namespace qv {

// The WebView2 runtime found without the vendor's loader library: the
// EdgeUpdate client state of the stable runtime names its version folder
// (machine-wide first, then per user); the runtime library in it must export
// the environment entry point. The library is loaded once and kept. The key,
// value, library path and export checked against the open loaders
// jchv/OpenWebView2Loader and webview/webview's built-in WebView2 loader.
class Win32BrowserRuntime final : public BrowserRuntime {
public:
    static constexpr const wchar_t* kClientStateKey =
        L"SOFTWARE\\Microsoft\\EdgeUpdate\\ClientState\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";
    static constexpr const wchar_t* kFolderValue = L"EBWebView";
    static constexpr const char* kEntryPoint = "CreateWebViewEnvironmentWithOptionsInternal";

    Win32BrowserRuntime() = default;
    ~Win32BrowserRuntime() override;
    Win32BrowserRuntime(const Win32BrowserRuntime&) = delete;
    Win32BrowserRuntime& operator=(const Win32BrowserRuntime&) = delete;

    bool available() override;

    // The runtime library named by the registry; empty when no runtime is
    // registered.
    static std::wstring libraryPath();
    // The environment entry point, or null when the runtime is missing.
    void* entryPoint();

private:
    void* module_ = nullptr;
    std::wstring loadedFrom_;
};

} // namespace qv
