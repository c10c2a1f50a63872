#include "update/win32/Win32UpdateRunner.h"

#include "base/FileSystem.h"
#include "base/win32/Utf16.h"
#include "base/win32/Win32ProcessApi.h"
#include "update/UpdateFetcher.h"
#include "update/UpdateFlow.h"
#include "update/UpdateInstaller.h"
#include "update/win32/Win32FileHasher.h"
#include "update/win32/Win32SignatureVerifier.h"
#include "update/win32/Win32HttpClient.h"
#include "update/win32/Win32UpdateEnvironment.h"
#include "update/win32/Win32UpdateStaging.h"

#include <windows.h>

#include <thread>
#include <utility>

namespace qv {

static_assert(UpdateInstaller::kSwHide == SW_HIDE); // mingw's winuser.h

namespace {

HWND toHwnd(WindowHandle window) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(window)); }

// Posts a payload the controller takes ownership of; freed here when the
// window is gone.
template <class T>
void post(WindowHandle window, UINT message, T* payload) {
    if (!PostMessageW(toHwnd(window), message, 0, reinterpret_cast<LPARAM>(payload))) delete payload;
}

class Win32UpdateUi final : public UpdateUi {
public:
    explicit Win32UpdateUi(WindowHandle window) : window_(window) {}

    bool messageBox(const std::string& text, Box box) override {
        UINT flags = MB_ICONINFORMATION;
        if (box == Box::Warning) flags = MB_ICONWARNING;
        if (box == Box::Question) flags = MB_ICONINFORMATION | MB_YESNO;
        return MessageBoxW(nullptr, widen(text).c_str(), L"Quorvane", flags) == IDYES;
    }
    void errorNotice(const std::string& title, const std::string& text) override {
        post(window_, UpdateRunner::kUpdateNoticeMessage, new std::pair<std::string, std::string>(title, text));
    }
    void postAvailable(const std::string& latest) override {
        post(window_, UpdateRunner::kUpdateAvailableMessage, new std::string(latest));
    }
    void postInstalling(const std::string& latest, bool automatic) override {
        post(window_, automatic ? UpdateRunner::kUpdateAutoInstallingMessage : UpdateRunner::kUpdateInstallingMessage,
             new std::string(latest));
    }

private:
    WindowHandle window_;
};

// Everything one check needs, made on its own thread.
void runCheck(WindowHandle window, const std::string& baseUrl, const std::function<void(UpdateFlow&)>& run) {
    Win32HttpClient http;
    Win32UpdateEnvironment environment;
    Win32FileHasher hasher;
    Win32SignatureVerifier verifier;
    Win32ProcessApi process;
    Win32UpdateStaging staging;
    UpdateFetcher fetcher(http, FileSystem::current(), baseUrl, updateToken(environment));
    UpdateInstaller installer(fetcher, environment, staging, hasher, process, FileSystem::current());
    Win32UpdateUi ui(window);
    UpdateFlow flow([&](const std::string& base, const std::string& ch) { return checkForUpdate(fetcher, verifier, base, ch); },
                    [&](const UpdateInfo& info, std::string& error) { return installer.installUpdate(info, error); },
                    ui);
    run(flow);
}

} // namespace

void Win32UpdateRunner::startAutomatic(WindowHandle window, const AutomaticCheck& check) {
    std::thread([window, check] {
        runCheck(window, check.baseUrl, [&](UpdateFlow& flow) { flow.automatic(check); });
    }).detach();
}

void Win32UpdateRunner::startRequested(WindowHandle window, const std::string& baseUrl, const std::string& channel,
                                       std::function<void()> finished) {
    std::thread([window, baseUrl, channel, finished = std::move(finished)] {
        runCheck(window, baseUrl, [&](UpdateFlow& flow) { flow.requested(baseUrl, channel); });
        if (finished) finished();
    }).detach();
}

} // namespace qv
