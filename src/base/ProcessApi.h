#pragma once
#include <cstdint>
#include <string>

namespace qv {

// Process-wide services of the start-up sequence and the elevation helpers:
// the process's identity, its COM apartment, its token, and the message loop
// of the user-interface thread.
class ProcessApi {
public:
    // CoInitializeEx flags: objbase.h values, learn.microsoft.com "COINIT enumeration".
    static constexpr uint32_t kCoInitApartmentThreaded = 0x2;
    static constexpr uint32_t kCoInitDisableOle1Dde = 0x4;
    // MessageBoxW flags: winuser.h values, learn.microsoft.com "MessageBox function".
    static constexpr uint32_t kMbIconError = 0x10;

    virtual ~ProcessApi() = default;

    // SetCurrentProcessExplicitAppUserModelID.
    virtual void setAppUserModelId(const std::string& id) = 0;
    // CoInitializeEx on the calling thread; returns the HRESULT.
    virtual int32_t coInitialize(uint32_t flags) = 0;
    virtual void coUninitialize() = 0;
    // GetModuleFileNameW of the executable into 260 characters; false on failure.
    virtual bool modulePath(std::string& path) = 0;
    // OpenProcessToken(TOKEN_QUERY) on this process and GetTokenInformation
    // (TokenElevation, 4 bytes); false when either call fails. The token is closed.
    virtual bool tokenElevation(uint32_t& elevation) = 0;
    // PostMessageW to HWND_BROADCAST of the registered message with that
    // name, both parameters 0.
    virtual void broadcastRegisteredMessage(const std::string& name) = 0;
    // PostQuitMessage.
    virtual void postQuit(int exitCode) = 0;
    // MessageBoxW without an owner.
    virtual void messageBox(const std::string& text, const std::string& title, uint32_t flags) = 0;
    // GetMessageW for every window of the thread; TranslateMessage and
    // DispatchMessageW while it returns more than 0. Returns the wParam of
    // the last message (WM_QUIT's exit code).
    virtual int runMessageLoop() = 0;
};

} // namespace qv
