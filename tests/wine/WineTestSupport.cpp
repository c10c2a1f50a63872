// Shared pieces of the adapter tests; see WineTestSupport.h.
#include "wine/WineTestSupport.h"

#include "base/FileSystem.h"
#include "base/win32/Win32Platform.h"
#include "base/StrPrintf.h"
#include "base/win32/Utf16.h"

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

namespace qv {

TempFolder::TempFolder(const char* prefix) {
    wchar_t buf[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, buf);
    if (n == 0 || n > MAX_PATH) return;
    static int counter = 0;
    path_ = narrow(std::wstring(buf, n)) +
            strprintf("%s-%lu-%d", prefix, static_cast<unsigned long>(GetCurrentProcessId()), ++counter);
}

TempFolder::~TempFolder() {
    if (path_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(widen(path_)), ignored);
}

TempKnownFolders::TempKnownFolders(std::string roaming)
    : roaming_(std::move(roaming)), previous_(KnownFolders::install(this)) {}

TempKnownFolders::~TempKnownFolders() { KnownFolders::install(previous_); }

std::string TempKnownFolders::path(KnownFolder folder) {
    return folder == KnownFolder::RoamingAppData ? roaming_ : std::string();
}

CapturedLog::CapturedLog() : previous_(DebugOutput::install(this)) {}

CapturedLog::~CapturedLog() { DebugOutput::install(previous_); }

bool CapturedLog::has(const std::string& level, const std::string& message) const {
    return count("[Quorvane][" + level + "] " + message + "\n") > 0;
}

int CapturedLog::count(const std::string& line) const {
    int n = 0;
    for (const std::string& l : lines) n += l == line ? 1 : 0;
    return n;
}

HeldOpen::HeldOpen(const std::string& path, Sharing sharing)
    : handle_(CreateFileW(widen(path).c_str(), GENERIC_READ,
                          sharing == Sharing::None ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr)) {}

bool HeldOpen::held() const { return handle_ != INVALID_HANDLE_VALUE; }

void HeldOpen::release() {
    if (held()) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
}

TempFolderTest::TempFolderTest(const char* prefix) : temp_(prefix), root(temp_.path()) { installWin32Platform(); }

void TempFolderTest::SetUp() { ASSERT_FALSE(root.empty()) << "no temporary folder"; }

std::string TempFolderTest::read(const std::string& path) {
    std::string out;
    std::string error;
    EXPECT_EQ(FileSystem::current().readFile(path, out, error), FileSystem::ReadStatus::Ok) << path << ": " << error;
    return out;
}

bool TempFolderTest::exists(const std::string& path) {
    return GetFileAttributesW(widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void TempFolderTest::writeFile(const std::string& path, const std::string& bytes) {
    FileSystem::current().createFolderChain(parentFolder(path));
    auto f = FileSystem::current().openWrite(path);
    ASSERT_TRUE(f) << path;
    ASSERT_EQ(f->write(bytes), static_cast<int64_t>(bytes.size()));
    ASSERT_TRUE(f->close());
}

::testing::AssertionResult TempFolderTest::isCrLfObject(const std::string& text) {
    if (text.rfind("{\r\n", 0) != 0) return ::testing::AssertionFailure() << "does not open with {CR LF";
    if (text.size() < 6 || text.compare(text.size() - 3, 3, "}\r\n") != 0)
        return ::testing::AssertionFailure() << "does not close with }CR LF";
    for (size_t i = 1; i < text.size(); ++i) {
        if (text[i] == '\n' && text[i - 1] != '\r') return ::testing::AssertionFailure() << "bare line feed at " << i;
    }
    return ::testing::AssertionSuccess();
}

namespace {
HINSTANCE registerTestClass(const wchar_t* className) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = className;
    RegisterClassExW(&wc); // a second registration fails harmlessly
    return wc.hInstance;
}
} // namespace

TestWindow::TestWindow(const wchar_t* className, Kind kind) {
    const HINSTANCE instance = registerTestClass(className);
    const bool messageOnly = kind == Kind::MessageOnly;
    HWND hwnd = CreateWindowExW(messageOnly ? 0 : WS_EX_TOOLWINDOW, className, L"", messageOnly ? 0 : WS_POPUP, 0, 0,
                                0, 0, messageOnly ? HWND_MESSAGE : nullptr, nullptr, instance, nullptr);
    window_ = static_cast<WindowHandle>(reinterpret_cast<uintptr_t>(hwnd));
}

TestWindow::TestWindow(const wchar_t* className, uint32_t exStyle, bool visible) {
    const HINSTANCE instance = registerTestClass(className);
    HWND hwnd = CreateWindowExW(exStyle, className, L"", WS_POPUP, 50, 50, 200, 150, nullptr, nullptr, instance, nullptr);
    SetWindowPos(hwnd, (exStyle & WS_EX_TOPMOST) != 0 ? HWND_TOPMOST : HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | (visible ? SWP_SHOWWINDOW : 0));
    window_ = static_cast<WindowHandle>(reinterpret_cast<uintptr_t>(hwnd));
}

ModalSteps::ModalSteps(const wchar_t* className, std::vector<Step> steps)
    : className_(className), steps_(std::move(steps)) {
    current_ = this;
    timer_ = SetTimer(nullptr, 0, 20, tick);
}

ModalSteps::~ModalSteps() {
    KillTimer(nullptr, timer_);
    current_ = nullptr;
}

void CALLBACK ModalSteps::tick(HWND, UINT, UINT_PTR, DWORD) {
    ModalSteps* self = current_;
    if (self == nullptr) return;
    HWND window = FindWindowW(self->className_.c_str(), nullptr);
    if (window == nullptr || !IsWindowVisible(window)) return;
    if (self->next_ < self->steps_.size()) {
        self->steps_[self->next_++](window);
        return;
    }
    if (++self->ticksAfterSteps_ > 250) {
        self->timedOut_ = true;
        DestroyWindow(window);
    }
}

TestWindow::~TestWindow() {
    if (window_) DestroyWindow(reinterpret_cast<HWND>(static_cast<uintptr_t>(window_)));
}

namespace {

BOOL CALLBACK addMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
    MONITORINFOEXW info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(monitor, &info)) return TRUE;
    const auto rect = [](const RECT& r) { return ScreenRect{r.left, r.top, r.right, r.bottom}; };
    reinterpret_cast<std::vector<SystemMonitor>*>(list)->push_back(
        SystemMonitor{narrow(info.szDevice), rect(info.rcMonitor), rect(info.rcWork),
                      (info.dwFlags & MONITORINFOF_PRIMARY) != 0});
    return TRUE;
}

BOOL CALLBACK evacuateWindow(HWND window, LPARAM moved) {
    if (!IsWindowVisible(window) || IsIconic(window)) return TRUE;
    RECT r;
    if (!GetWindowRect(window, &r) || r.right <= r.left || r.bottom <= r.top) return TRUE;
    if (MonitorFromRect(&r, MONITOR_DEFAULTTONULL) != nullptr) return TRUE;
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info)) return TRUE;
    const RECT& work = info.rcWork;
    const LONG width = r.right - r.left;
    const LONG height = r.bottom - r.top;
    // The nearest place inside the work area; a window larger than it keeps
    // its top left corner in it.
    const LONG x = std::max(work.left, std::min(r.left, work.right - width));
    const LONG y = std::max(work.top, std::min(r.top, work.bottom - height));
    if (SetWindowPos(window, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE))
        ++*reinterpret_cast<int*>(moved);
    return TRUE;
}

void pumpThreadMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

} // namespace

std::vector<SystemMonitor> systemMonitors() {
    std::vector<SystemMonitor> list;
    EnumDisplayMonitors(nullptr, nullptr, addMonitor, reinterpret_cast<LPARAM>(&list));
    return list;
}

void TwoMonitorTest::SetUp() {
    const size_t count = systemMonitors().size();
    if (count < 2)
        GTEST_SKIP() << "Wine reports " << count
                     << " monitor(s); this test needs two (the two-monitor tier, scripts/lib-xorg.sh)";
}

int playWindowsDisplayChange() {
    int moved = 0;
    EnumWindows(evacuateWindow, reinterpret_cast<LPARAM>(&moved));
    DEVMODEW mode{};
    mode.dmSize = sizeof mode;
    if (EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, &mode)) {
        DWORD_PTR ignored = 0;
        // Sent, so every window has seen it on return; a hung one is left after two seconds.
        SendMessageTimeoutW(HWND_BROADCAST, WM_DISPLAYCHANGE, mode.dmBitsPerPel,
                            MAKELPARAM(mode.dmPelsWidth, mode.dmPelsHeight), SMTO_ABORTIFHUNG, 2000, &ignored);
    }
    pumpThreadMessages();
    return moved;
}

} // namespace qv
