#pragma once
#include "actions/ActionRequest.h"

#include <windows.h>

#include <string>

namespace qv {

// Both ends of "--do" over WM_COPYDATA. The sender finds the controller
// window by its class and title (FindWindowW sees only this session's
// desktop), sends the request with SendMessageTimeoutW and takes the reply on
// a message-only window of its own while it waits: SMTO_NORMAL lets the
// waiting thread take sent messages, so the instance's reply, sent from
// inside its WM_COPYDATA handler, arrives before the call returns.
class Win32ActionRequests final : public ActionRequestSender, public ActionRequestInbox {
public:
    // UTF-8 class name and title of the controller window requests go to.
    Win32ActionRequests(std::string targetClass, std::string targetTitle);
    ~Win32ActionRequests() override;
    Win32ActionRequests(const Win32ActionRequests&) = delete;
    Win32ActionRequests& operator=(const Win32ActionRequests&) = delete;

    WindowHandle openReplyWindow() override;
    Outcome send(const std::string& request, std::uint32_t timeoutMs, std::string& reply) override;

    void allowRequests(WindowHandle window) override;
    bool read(std::int64_t lParam, std::uint64_t& tag, std::string& bytes) override;
    bool sameUser(WindowHandle sender) override;
    bool reply(WindowHandle to, WindowHandle from, const std::string& bytes) override;

private:
    static LRESULT CALLBACK replyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    std::string targetClass_;
    std::string targetTitle_;
    HWND replyWindow_ = nullptr;
    bool answered_ = false;
    std::string answer_;
};

} // namespace qv
