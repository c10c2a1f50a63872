#pragma once
#include "app/InstanceMutex.h"
#include "base/ProcessApi.h"
#include "base/Registry.h"
#include "base/ShellApi.h"
#include "ui/TrayWindowApi.h"
#include "vdisplay/VdConsole.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace qv::sim {

// The process side of a simulated desktop: the single-instance mutex, the
// process's token and executable, its COM apartment and message queue, the
// current user's registry, the shell (files, shortcuts, ShellExecuteEx), the
// console of a command-line run and the tray controller's window.
//
// Every call is recorded as one line of text named after the Windows call it
// stands for, e.g. "RegOpenKeyExW(HKCU\Software\Microsoft\Windows\CurrentVersion\Run, 0x20019)",
// so a test can compare the whole sequence. Quitting is coherent: a
// PostQuitMessage from any port ends the simulated message loop with its
// code, and messages posted to the controller window are dispatched to the
// TrayController that created it.
class SimProcess final : public InstanceMutex,
                         public ProcessApi,
                         public Registry,
                         public ShellApi,
                         public VdConsole,
                         public TrayWindowApi {
public:
    static constexpr uint32_t kWmQuit = 0x0012;

    struct Value {
        uint32_t type = 0;
        std::string text;     // REG_SZ data, UTF-8
        uint32_t byteSize = 0; // bytes as stored
    };

    struct Window {
        std::string className;
        std::string title;
        uint32_t exStyle = 0;
        uint32_t style = 0;
        uint64_t instance = 0;
        TrayController* controller = nullptr;
    };

    SimProcess();

    // --- the scenario (not recorded) ---
    // Another process already holds the single-instance mutex.
    bool mutexHeldElsewhere = false;
    // What waiting for that mutex yields.
    WaitResult waitOutcome = WaitResult::TimedOut;
    bool mutexCreationFails = false;

    std::string exePath = "C:\\Program Files\\Quorvane\\quorvane.exe";
    bool modulePathFails = false;
    bool tokenQueryFails = false;
    uint32_t tokenElevationValue = 0;

    bool shellLinkFails = false;
    // What CoInitializeEx answers (S_OK).
    int32_t coInitializeResult = 0;
    bool shellExecuteFails = false;
    // Paths GetFileAttributesW succeeds on.
    std::set<std::string> existingPaths;

    bool parentHasConsole = false;
    std::set<Stream> inheritedStreams;

    bool windowCreationFails = false;
    // Names RegisterWindowMessageW answers with 0.
    std::set<std::string> failingRegistrations;
    ScreenPoint cursor{640, 360};
    // The answer every owned message box gives (IDNO unless a test says).
    int messageBoxAnswer = 7;

    // Registry set-up. Keys are "HKCU\path" or "HKLM\path"; names and paths
    // compare without regard to case, as in Windows.
    void addKey(Root root, const std::string& subKey);
    // Removes the key and every key below it.
    void removeKey(Root root, const std::string& subKey);
    void setValue(Root root, const std::string& subKey, const std::string& name, const Value& value);
    std::optional<Value> value(Root root, const std::string& subKey, const std::string& name) const;
    // Access rights whose request fails with ERROR_ACCESS_DENIED.
    uint32_t deniedAccess = 0;
    bool hasKey(Root root, const std::string& subKey) const;
    // Keys ("HKCU\path", any case) whose deletion fails with ERROR_ACCESS_DENIED.
    std::set<std::string> undeletableKeys;

    // Posts a message to the controller window (the first window created),
    // by registered name or by number.
    void postToController(const std::string& registeredName);
    void postToController(uint32_t message, uint64_t wParam = 0, int64_t lParam = 0);
    // Sends a message to every window at once, as a broadcast from another
    // process does (not recorded; the windows' answers are).
    void broadcast(uint32_t message, uint64_t wParam = 0, int64_t lParam = 0);

    // --- what happened ---
    // Recording and posting may also come from worker threads (a recording
    // that ends by itself posts to the controller window); a test reads
    // calls once those threads are done or waits through postedCount().
    std::vector<std::string> calls;
    void record(const std::string& call) {
        std::lock_guard<std::mutex> lock(mutex_);
        calls.push_back(call);
    }
    // Messages posted and not yet taken by runMessageLoop.
    size_t postedCount() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return queue_.size();
    }
    // The reason ShutdownBlockReasonCreate holds, when it holds one.
    std::optional<std::string> shutdownBlockReason;
    bool holdsMutex() const { return mutexOwned_; }
    size_t openKeyCount() const { return openKeys_.size(); }
    std::map<std::string, ShellLink> shellLinks;  // by path
    std::string consoleOutput;
    // A console control event (Ctrl+C, the console window closing, ...)
    // arrives while the process waits for the release of a held monitor: the
    // wait ends with it instead of with a line of input. Set it before the
    // wait, or during the run (from a clock's sleep) to have it arrive then.
    bool controlEventArrives = false;
    // What the console showed when the caught control events were let go:
    // for the window closing or a sign-out, the last thing the user sees.
    std::optional<std::string> outputWhenControlEventsReleased;
    // Answers each wait for the release of a held monitor, given its
    // time-out: false lets it time out, true ends it with input; none:
    // input is there at once. Timed-out waits are not recorded.
    std::function<bool(uint32_t)> consoleInputWait;
    std::map<WindowHandle, Window> windows;
    std::set<std::string> registeredClasses;

    // --- InstanceMutex ---
    CreateResult create(const std::string& name) override;
    WaitResult wait(uint32_t timeoutMs) override;
    void release() override;

    // --- ProcessApi (and the COM and quit calls VdConsole and TrayWindowApi share) ---
    void setAppUserModelId(const std::string& id) override;
    int32_t coInitialize(uint32_t flags) override;
    void coUninitialize() override;
    bool modulePath(std::string& path) override;
    bool tokenElevation(uint32_t& elevation) override;
    void broadcastRegisteredMessage(const std::string& name) override;
    void postQuit(int exitCode) override;
    bool postMessage(WindowHandle window, uint32_t message, uint64_t wParam, int64_t lParam) override;
    void messageBox(const std::string& text, const std::string& title, uint32_t flags) override;
    int runMessageLoop() override;

    // --- Registry ---
    int32_t openKey(Root root, const std::string& subKey, uint32_t access, Key& key) override;
    int32_t queryValueType(Key key, const std::string& name, uint32_t& type) override;
    int32_t setStringValue(Key key, const std::string& name, const std::string& text) override;
    int32_t deleteValue(Key key, const std::string& name) override;
    int32_t enumSubKey(Key key, uint32_t index, std::string& name) override;
    int32_t getStringValue(Key key, const std::string& subKey, const std::string& name, std::string& text) override;
    int32_t deleteTree(Key key, const std::string& subKey) override;
    void closeKey(Key key) override;

    // --- ShellApi ---
    bool pathExists(const std::string& path) override;
    bool createShellLink(const ShellLink& link, const std::string& path) override;
    bool shellExecuteEx(const std::string& verb, const std::string& file, const std::string& parameters,
                        uint32_t mask, int32_t show, const std::string& directory = {}) override;

    // --- VdConsole ---
    bool attachParentConsole() override;
    bool allocConsole() override;
    bool hasStandardHandle(Stream stream) override;
    void reopenOnConsole(Stream stream) override;
    void print(const std::string& text) override;
    void catchControlEvents() override;
    Release waitForRelease(uint32_t timeoutMs) override;
    bool controlEventArrived() override;
    void releaseControlEvents() override;

    // --- TrayWindowApi ---
    uint32_t registerMessage(const std::string& name) override;
    bool registerWindowClass(uint64_t instance, const std::string& className, int iconResource) override;
    WindowHandle createWindow(uint64_t instance, uint32_t exStyle, const std::string& className,
                              const std::string& title, uint32_t style, TrayController& controller) override;
    void destroyWindow(WindowHandle window) override;
    int64_t defaultWindowProc(WindowHandle window, uint32_t message, uint64_t wParam, int64_t lParam) override;
    bool cursorPos(ScreenPoint& point) override;
    int ownedMessageBox(WindowHandle owner, const std::string& text, const std::string& caption,
                        uint32_t flags) override;
    bool setTimer(WindowHandle window, uint32_t id, uint32_t milliseconds) override;
    bool killTimer(WindowHandle window, uint32_t id) override;
    bool shutdownBlockReasonCreate(WindowHandle window, const std::string& reason) override;
    bool shutdownBlockReasonDestroy(WindowHandle window) override;

    // The id RegisterWindowMessageW gives the name (not recorded).
    uint32_t messageId(const std::string& name);
    // The registered name or the number in hex.
    std::string messageName(uint32_t message) const;

private:
    struct Posted {
        WindowHandle window = 0;  // 0: the controller window
        uint32_t message = 0;
        uint64_t wParam = 0;
        int64_t lParam = 0;
    };

    static std::string keyPath(Root root, const std::string& subKey);

    bool mutexHandle_ = false;
    bool mutexOwned_ = false;
    std::map<std::string, std::map<std::string, Value>> keys_;  // lower-case path → lower-case name → value
    std::map<std::string, std::string> keyNames_;               // lower-case path → path as first written
    std::map<Key, std::string> openKeys_;
    Key nextKey_ = 0x100;
    std::map<std::string, uint32_t> messageIds_;
    // Guards calls and queue_. A process assigned afresh (tests start over
    // with SimProcess()) keeps its own lock.
    struct Lock {
        Lock() = default;
        Lock(const Lock&) {}
        Lock& operator=(const Lock&) { return *this; }
        operator std::mutex&() const { return mutex; }
        mutable std::mutex mutex;
    };
    Lock mutex_;
    std::deque<Posted> queue_;
    WindowHandle nextWindow_ = 0x10010;
};

} // namespace qv::sim
