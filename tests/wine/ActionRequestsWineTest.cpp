// Both ends of "--do" over real user32: a controller-like window on a thread
// of its own answers through the instance's receiving code, the sender finds
// it, sends WM_COPYDATA and takes the reply on its message-only window while
// it waits.
#include "actions/ActionRequest.h"
#include "actions/win32/Win32ActionRequests.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace qv {
namespace {

// learn.microsoft.com "WM_COPYDATA message".
constexpr UINT kWmCopyDataValue = 0x004A;

constexpr const wchar_t* kTargetClass = L"QvDoTestTarget";
constexpr const char* kTargetClassUtf8 = "QvDoTestTarget";
constexpr const char* kTargetTitle = "QvDoTest";

WindowHandle toHandle(HWND window) { return static_cast<WindowHandle>(reinterpret_cast<uintptr_t>(window)); }

// The instance's side: its own Win32ActionRequests as the inbox, answering
// every request with the action's text form as the message.
Win32ActionRequests* g_inbox = nullptr;
std::atomic<int> g_answered{0};

LRESULT CALLBACK targetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kWmCopyDataValue && g_inbox) {
        std::uint64_t tag = 0;
        std::string bytes;
        if (!g_inbox->read(static_cast<std::int64_t>(lParam), tag, bytes)) return FALSE;
        const WindowHandle sender = static_cast<WindowHandle>(wParam);
        const auto answer = action_request::receive(tag, bytes, sender, g_inbox->sameUser(sender),
                                                    [](const Action& action, bool keep) {
                                                        return ActionResult::success(actionText(action) +
                                                                                     (keep ? " kept" : ""));
                                                    });
        if (!answer) return FALSE;
        g_inbox->reply(answer->to, toHandle(window), answer->bytes);
        ++g_answered;
        return TRUE;
    }
    if (message == WM_CLOSE) {
        DestroyWindow(window);
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

class ActionRequestsWineTest : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = targetProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kTargetClass;
        RegisterClassExW(&windowClass);
        g_inbox = &inbox;
        g_answered = 0;
        std::atomic<HWND> created{nullptr};
        instance = std::thread([&created] {
            HWND window = CreateWindowExW(0, kTargetClass, L"QvDoTest", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                          GetModuleHandleW(nullptr), nullptr);
            created = window ? window : reinterpret_cast<HWND>(1);
            MSG msg;
            while (window && GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
        });
        for (int i = 0; i < 500 && created.load() == nullptr; ++i) Sleep(10);
        target = created.load();
        ASSERT_NE(target, nullptr);
        ASSERT_NE(target, reinterpret_cast<HWND>(1));
        inbox.allowRequests(toHandle(target));
    }
    void TearDown() override {
        if (target) PostMessageW(target, WM_CLOSE, 0, 0);
        if (instance.joinable()) instance.join();
        g_inbox = nullptr;
    }

    Win32ActionRequests inbox{kTargetClassUtf8, kTargetTitle};
    std::thread instance;
    HWND target = nullptr;
};

TEST_F(ActionRequestsWineTest, RequestReachesTheOtherThreadsWindowAndTheReplyComesBack) {
    Win32ActionRequests sender(kTargetClassUtf8, kTargetTitle);
    const WindowHandle replyWindow = sender.openReplyWindow();
    ASSERT_NE(replyWindow, 0u);
    EXPECT_EQ(sender.openReplyWindow(), replyWindow);  // one window per process

    struct Case {
        std::string action;
        bool keep;
        bool ok;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"SnapWindow:3x2:4", false, true, "SnapWindow:3x2:4"},
        {"RestoreLayout:B\xC3\xBCro: 2", true, true, "RestoreLayout:B\xC3\xBCro: 2 kept"},
        {"Foo", false, false, "unknown action 'Foo'"},
    };
    for (const Case& c : cases) {
        std::string reply;
        ASSERT_EQ(sender.send(action_request::encodeRequest({c.action, c.keep, replyWindow}), 10000, reply),
                  ActionRequestSender::Outcome::Answered)
            << c.action;
        ActionResult result;
        ASSERT_TRUE(action_request::decodeReply(reply, result)) << reply;
        EXPECT_EQ(result.ok, c.ok) << c.action;
        EXPECT_EQ(result.message, c.message) << c.action;
    }
    // Garbage is answered, not crashed on.
    std::string reply;
    ASSERT_EQ(sender.send(std::string("\x01\xFF{", 3), 10000, reply), ActionRequestSender::Outcome::Answered);
    ActionResult result;
    ASSERT_TRUE(action_request::decodeReply(reply, result));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(g_answered.load(), 4);
}

TEST_F(ActionRequestsWineTest, NoWindowOfThatClassMeansNotRunning) {
    Win32ActionRequests sender("QvDoTestNobody", kTargetTitle);
    ASSERT_NE(sender.openReplyWindow(), 0u);
    std::string reply;
    EXPECT_EQ(sender.send(action_request::encodeRequest({"Exit", false, 1}), 1000, reply),
              ActionRequestSender::Outcome::NotRunning);
    EXPECT_EQ(g_answered.load(), 0);
}

TEST_F(ActionRequestsWineTest, ReadsTheCopyDataAndKnowsItsOwnUser) {
    const std::string big(action_request::kMaxRequestBytes + 100, 'x');
    COPYDATASTRUCT data{};
    data.dwData = 7;
    data.cbData = static_cast<DWORD>(big.size());
    data.lpData = const_cast<char*>(big.data());
    std::uint64_t tag = 0;
    std::string bytes;
    ASSERT_TRUE(inbox.read(reinterpret_cast<std::int64_t>(&data), tag, bytes));
    EXPECT_EQ(tag, 7u);
    EXPECT_EQ(bytes.size(), action_request::kMaxRequestBytes + 1);  // enough to refuse as too large

    data.cbData = 5;
    data.lpData = nullptr;
    ASSERT_TRUE(inbox.read(reinterpret_cast<std::int64_t>(&data), tag, bytes));
    EXPECT_TRUE(bytes.empty());
    EXPECT_FALSE(inbox.read(0, tag, bytes));

    EXPECT_TRUE(inbox.sameUser(toHandle(target)));
    EXPECT_FALSE(inbox.sameUser(0));
}

} // namespace
} // namespace qv
