#include "actions/win32/Win32ActionRequests.h"

#include "base/win32/Utf16.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace qv {

namespace {

// learn.microsoft.com "WM_COPYDATA message".
constexpr UINT kWmCopyData = 0x004A;
// learn.microsoft.com "ChangeWindowMessageFilterEx function": MSGFLT_ALLOW.
constexpr DWORD kMsgFltAllow = 1;
// learn.microsoft.com "SendMessageTimeoutW function": SMTO_NORMAL, SMTO_ABORTIFHUNG.
constexpr UINT kSmtoNormal = 0x0000;
constexpr UINT kSmtoAbortIfHung = 0x0002;
// learn.microsoft.com "CreateWindowExW function": HWND_MESSAGE makes a message-only window.
const HWND kHwndMessage = reinterpret_cast<HWND>(static_cast<INT_PTR>(-3));

static_assert(kWmCopyData == WM_COPYDATA);
static_assert(kMsgFltAllow == MSGFLT_ALLOW);
static_assert(kSmtoNormal == SMTO_NORMAL);
static_assert(kSmtoAbortIfHung == SMTO_ABORTIFHUNG);

constexpr const wchar_t* kReplyClass = L"QuorvaneDoReply";

HWND toHwnd(WindowHandle handle) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(handle)); }
WindowHandle toHandle(HWND window) { return static_cast<WindowHandle>(reinterpret_cast<uintptr_t>(window)); }

bool sendCopyData(HWND to, HWND from, std::uint64_t tag, const std::string& bytes, UINT flags, std::uint32_t timeoutMs) {
    COPYDATASTRUCT data{};
    data.dwData = static_cast<ULONG_PTR>(tag);
    data.cbData = static_cast<DWORD>(bytes.size());
    data.lpData = const_cast<char*>(bytes.data());
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(to, kWmCopyData, reinterpret_cast<WPARAM>(from), reinterpret_cast<LPARAM>(&data), flags,
                               timeoutMs, &result) != 0 &&
           result != 0;
}

// The user SID of the process's token; empty when it cannot be read.
std::vector<unsigned char> tokenUser(HANDLE process) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token)) return {};
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    std::vector<unsigned char> sid;
    if (size != 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
        const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
        if (IsValidSid(user->User.Sid)) {
            const DWORD length = GetLengthSid(user->User.Sid);
            const auto* begin = static_cast<const unsigned char*>(user->User.Sid);
            sid.assign(begin, begin + length);
        }
    }
    CloseHandle(token);
    return sid;
}

} // namespace

Win32ActionRequests::Win32ActionRequests(std::string targetClass, std::string targetTitle)
    : targetClass_(std::move(targetClass)), targetTitle_(std::move(targetTitle)) {}

Win32ActionRequests::~Win32ActionRequests() {
    if (replyWindow_) DestroyWindow(replyWindow_);
}

LRESULT CALLBACK Win32ActionRequests::replyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kWmCopyData) {
        auto* self = reinterpret_cast<Win32ActionRequests*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (!self || !data || data->dwData != action_request::kReplyTag) return FALSE;
        self->answer_.assign(static_cast<const char*>(data->lpData), data->lpData ? data->cbData : 0);
        self->answered_ = true;
        return TRUE;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

WindowHandle Win32ActionRequests::openReplyWindow() {
    if (replyWindow_) return toHandle(replyWindow_);
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = replyProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kReplyClass;
    // A class that is already registered serves as well.
    RegisterClassExW(&windowClass);
    replyWindow_ = CreateWindowExW(0, kReplyClass, L"", 0, 0, 0, 0, 0, kHwndMessage, nullptr, instance, nullptr);
    if (!replyWindow_) return 0;
    SetWindowLongPtrW(replyWindow_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    return toHandle(replyWindow_);
}

ActionRequestSender::Outcome Win32ActionRequests::send(const std::string& request, std::uint32_t timeoutMs,
                                                       std::string& reply) {
    const HWND target = FindWindowW(widen(targetClass_).c_str(), widen(targetTitle_).c_str());
    if (!target) return Outcome::NotRunning;
    answered_ = false;
    answer_.clear();
    sendCopyData(target, replyWindow_, action_request::kRequestTag, request, kSmtoNormal | kSmtoAbortIfHung, timeoutMs);
    if (!answered_) return IsWindow(target) ? Outcome::NoAnswer : Outcome::NotRunning;
    reply = answer_;
    return Outcome::Answered;
}

void Win32ActionRequests::allowRequests(WindowHandle window) {
    // Fails harmlessly where there is no message filter to change.
    ChangeWindowMessageFilterEx(toHwnd(window), kWmCopyData, kMsgFltAllow, nullptr);
}

bool Win32ActionRequests::read(std::int64_t lParam, std::uint64_t& tag, std::string& bytes) {
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(static_cast<intptr_t>(lParam));
    if (!data) return false;
    tag = data->dwData;
    bytes.clear();
    // One byte past the limit is enough to tell the request is too large.
    const size_t size = std::min<size_t>(data->cbData, action_request::kMaxRequestBytes + 1);
    if (data->lpData && size > 0) bytes.assign(static_cast<const char*>(data->lpData), size);
    return true;
}

bool Win32ActionRequests::sameUser(WindowHandle sender) {
    DWORD processId = 0;
    if (!GetWindowThreadProcessId(toHwnd(sender), &processId) || processId == 0) return false;
    const std::vector<unsigned char> own = tokenUser(GetCurrentProcess());
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (!process) return false;
    const std::vector<unsigned char> theirs = tokenUser(process);
    CloseHandle(process);
    return !own.empty() && own.size() == theirs.size() &&
           EqualSid(const_cast<unsigned char*>(own.data()), const_cast<unsigned char*>(theirs.data()));
}

bool Win32ActionRequests::reply(WindowHandle to, WindowHandle from, const std::string& bytes) {
    return sendCopyData(toHwnd(to), toHwnd(from), action_request::kReplyTag, bytes, kSmtoAbortIfHung,
                        action_request::kReplyTimeoutMs);
}

} // namespace qv
