// The imitation WebView2 runtime registered for one test the way the real
// runtime is registered, with its record and its page-message entry, and a
// message pump for waiting on the browser's asynchronous answers.
#pragma once
#include "base/win32/Utf16.h"
#include "imitation/webview2/ImitationWebView2.h"
#include "web/win32/Win32BrowserRuntime.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>

namespace qv {

// Dispatches the thread's messages until the condition holds or the time
// (five seconds unless told) has passed.
inline bool pumpUntil(const std::function<bool()>& condition, ULONGLONG milliseconds = 5000) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    while (!condition()) {
        if (GetTickCount64() > deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return true;
}

class ImitationBrowser {
public:
    // Registers the imitation runtime next to the test program and loads it
    // through the runtime adapter; a failure fails the calling test.
    void install(Win32BrowserRuntime& runtime) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, Win32BrowserRuntime::kClientStateKey, 0, nullptr, 0,
                                  KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        const std::wstring folder = imitationFolder();
        RegSetValueExW(key, Win32BrowserRuntime::kFolderValue, 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(folder.c_str()),
                       static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
        ASSERT_TRUE(runtime.available()) << narrow(Win32BrowserRuntime::libraryPath());

        HMODULE library = GetModuleHandleW(Win32BrowserRuntime::libraryPath().c_str());
        ASSERT_NE(library, nullptr);
        record = exported<ImitationWebView2RecordFn>(library, "ImitationWebView2State")();
        exported<ImitationWebView2ResetFn>(library, "ImitationWebView2Reset")();
        post = exported<ImitationWebView2PostFn>(library, "ImitationWebView2Post");
        SetEnvironmentVariableW(L"QV_IMITATION_WEBVIEW2", nullptr);
    }

    // Lets the last answers arrive and removes the registration.
    void uninstall() {
        SetEnvironmentVariableW(L"QV_IMITATION_WEBVIEW2", nullptr);
        pumpUntil([] { return true; });
        RegDeleteTreeW(HKEY_CURRENT_USER, Win32BrowserRuntime::kClientStateKey);
    }

    ImitationWebView2Record* record = nullptr;
    // Queues a page message (UTF-16 JSON) for the host.
    ImitationWebView2PostFn post = nullptr;

private:
    // The folder next to the test program that holds the imitation runtime.
    static std::wstring imitationFolder() {
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::wstring folder(path);
        folder.resize(folder.find_last_of(L'\\'));
        return folder + L"\\imitation-webview2";
    }

    template <class Function>
    static Function exported(HMODULE library, const char* name) {
        return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
    }
};

} // namespace qv
