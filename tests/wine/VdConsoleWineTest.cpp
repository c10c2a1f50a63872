// The console's hold under Wine: a line on standard input or its end
// releases it, and a console control event raised with
// GenerateConsoleCtrlEvent during "--vd-create ... --hold" runs the release
// (the monitor removed, the backend closed) before the event's handler
// returns and lets the process go on; so does the session ending
// (WM_ENDSESSION to the hold's hidden window).
#include "vdisplay/Backend.h"
#include "vdisplay/VdBackends.h"
#include "vdisplay/VdClock.h"
#include "vdisplay/VdCommandLine.h"
#include "vdisplay/win32/Win32VdConsole.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qv {
namespace {

using vdisplay::Backend;
using Release = VdConsole::Release;

// Standard input replaced by the read end of a pipe the test writes to, for
// as long as it lives.
class PipedStdin {
public:
    PipedStdin() {
        HANDLE read = nullptr;
        if (!CreatePipe(&read, &write_, nullptr, 0)) return;
        saved_ = _dup(0);
        const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(read), _O_RDONLY);
        ok_ = saved_ >= 0 && fd >= 0 && _dup2(fd, 0) == 0;
        if (fd >= 0) _close(fd);
    }
    ~PipedStdin() {
        closeWriter();
        if (saved_ >= 0) {
            _dup2(saved_, 0);
            _close(saved_);
        }
    }
    bool ok() const { return ok_; }
    void writeLine() {
        DWORD written = 0;
        WriteFile(write_, "\n", 1, &written, nullptr);
    }
    void closeWriter() {
        if (write_) CloseHandle(write_);
        write_ = nullptr;
    }

private:
    HANDLE write_ = nullptr;
    int saved_ = -1;
    bool ok_ = false;
};

TEST(VdConsoleWineTest, ALineOrTheEndOfInputReleases) {
    for (bool endOfInput : {false, true}) {
        SCOPED_TRACE(endOfInput ? "end of input" : "a line");
        PipedStdin input;
        ASSERT_TRUE(input.ok());
        Win32VdConsole console;
        console.catchControlEvents();
        // Nothing yet: the waits time out, the read they began goes on.
        EXPECT_EQ(console.waitForRelease(0), Release::TimedOut);
        EXPECT_EQ(console.waitForRelease(30), Release::TimedOut);
        std::thread writer([&] {
            Sleep(50);
            endOfInput ? input.closeWriter() : input.writeLine();
        });
        EXPECT_EQ(console.waitForRelease(INFINITE), Release::Input);
        writer.join();
        console.releaseControlEvents();
    }
}

// A driver that keeps a log of what it is asked, from any thread.
struct DriverLog {
    std::mutex mutex;
    std::vector<std::string> calls;
    void add(const std::string& call) {
        std::lock_guard<std::mutex> lock(mutex);
        calls.push_back(call);
    }
};

class LoggedBackend final : public Backend {
public:
    explicit LoggedBackend(DriverLog& log) : log_(log) {}
    std::string id() const override { return "qv-idd"; }
    std::string displayName() const override { return "test driver"; }
    bool isInstalled() override { return true; }
    vdisplay::Capabilities capabilities() const override { return {}; }
    bool open(std::string&) override {
        log_.add("open");
        return true;
    }
    void close() override { log_.add("close"); }
    bool addMonitor(const vdisplay::MonitorRequest& request, vdisplay::VirtualMonitor& monitor,
                    std::string&) override {
        log_.add("addMonitor");
        monitor = {5, request.width, request.height, request.refresh, false, false, false, request.name, true};
        return true;
    }
    bool removeMonitor(uint32_t monitorId, std::string&) override {
        log_.add("removeMonitor " + std::to_string(monitorId));
        return true;
    }
    std::vector<vdisplay::VirtualMonitor> listMonitors() override { return {}; }

private:
    DriverLog& log_;
};

class OneBackend final : public vdisplay::VdBackends {
public:
    explicit OneBackend(DriverLog& log) : log_(log) {}
    vdisplay::Environment environment() override { return {}; }
    std::vector<vdisplay::BackendStatus> probes() override { return {}; }
    vdisplay::BackendChoice choose(const std::vector<vdisplay::BackendProbe>&, const vdisplay::Environment&) override {
        return {"qv-idd", "test"};
    }
    std::unique_ptr<Backend> open(const std::string&, std::string& reason) override {
        reason = "test";
        return std::make_unique<LoggedBackend>(log_);
    }
    bool install(std::string&) override { return false; }
    bool uninstall(std::string&) override { return false; }

private:
    DriverLog& log_;
};

// Sleeps take no time; the first one (the wait for the new display, after
// the control events are caught) says so.
class SignallingClock final : public vdisplay::VdClock {
public:
    double milliseconds() override { return 0; }
    void sleep(uint32_t) override {
        if (!signalled_.exchange(true)) SetEvent(waiting);
    }
    HANDLE waiting = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ~SignallingClock() override { CloseHandle(waiting); }

private:
    std::atomic<bool> signalled_{false};
};

// The real console, with what each wait ended with.
class ObservedConsole final : public VdConsole {
public:
    bool attachParentConsole() override { return true; }
    bool allocConsole() override { return true; }
    bool hasStandardHandle(Stream) override { return true; }
    void reopenOnConsole(Stream) override {}
    void print(const std::string& text) override {
        std::lock_guard<std::mutex> lock(mutex_);
        output += text;
    }
    void catchControlEvents() override { real_.catchControlEvents(); }
    Release waitForRelease(uint32_t timeoutMs) override {
        const Release release = real_.waitForRelease(timeoutMs);
        if (release != Release::TimedOut) releases.push_back(release);
        return release;
    }
    // An event seen while the new display is awaited ends the hold as one
    // seen by a wait does.
    bool controlEventArrived() override {
        const bool arrived = real_.controlEventArrived();
        if (arrived) releases.push_back(Release::ControlEvent);
        return arrived;
    }
    void releaseControlEvents() override {
        log->add("let the control events go");
        real_.releaseControlEvents();
    }
    int32_t coInitialize(uint32_t) override { return 0; }
    void coUninitialize() override {}

    DriverLog* log = nullptr;
    std::string output;
    std::vector<Release> releases;

private:
    Win32VdConsole real_;
    std::mutex mutex_;
};

// "--vd-create 1920x1080@60 --hold" over the logged driver, the real
// console and the signalling clock.
struct HeldCreate {
    DriverLog log;
    OneBackend backends{log};
    SignallingClock clock;
    ObservedConsole console;
    VdCommandLine line;

    HeldCreate() : line({"--vd-create", "1920x1080@60", "--hold"}, console, services(backends, clock)) {
        console.log = &log;
    }
    static VdCommandLine::Services services(OneBackend& backends, SignallingClock& clock) {
        VdCommandLine::Services services;
        services.backends = &backends;
        services.clock = &clock;
        return services;
    }
};

BOOL WINAPI ignoreControlEvent(DWORD) { return TRUE; }

TEST(VdConsoleWineTest, AControlEventDuringAHoldRunsTheRelease) {
    // GenerateConsoleCtrlEvent reaches only processes attached to a console
    // with a window; Wine's console for redirected output has none.
    bool allocated = false;
    if (!GetConsoleWindow()) {
        FreeConsole();
        allocated = AllocConsole() != FALSE;
    }
    // Ctrl+C handled at all, and one that Wine delivers late is ignored
    // instead of ending the test run.
    SetConsoleCtrlHandler(nullptr, FALSE);
    SetConsoleCtrlHandler(ignoreControlEvent, TRUE);

    PipedStdin input;
    ASSERT_TRUE(input.ok());
    HeldCreate held;
    DriverLog& log = held.log;
    SignallingClock& clock = held.clock;
    ObservedConsole& console = held.console;
    VdCommandLine& line = held.line;

    // Ctrl+C (Wine 8 raises no Ctrl+Break for a whole console), once the
    // hold has caught control events; should Wine not deliver it, a line of
    // input ends the hold after a while so the test can say so.
    std::atomic<bool> raised{false};
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread raiser([&] {
        if (WaitForSingleObject(clock.waiting, 10000) != WAIT_OBJECT_0) return;
        raised = GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != FALSE ||
                 GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, 0) != FALSE;
        if (WaitForSingleObject(done, 10000) != WAIT_OBJECT_0) input.writeLine();
    });
    int exitCode = -1;
    EXPECT_TRUE(line.run(exitCode));
    SetEvent(done);
    raiser.join();
    CloseHandle(done);
    SetConsoleCtrlHandler(ignoreControlEvent, FALSE);
    if (allocated) FreeConsole();

    EXPECT_EQ(exitCode, 0);
    ASSERT_EQ(console.releases.size(), 1u);
    if (console.releases[0] != Release::ControlEvent) {
        GTEST_SKIP() << "Wine did not deliver the console control event (GenerateConsoleCtrlEvent "
                     << (raised ? "succeeded" : "failed") << ")";
    }
    // The same release as after Enter, all before the event's handler returns.
    EXPECT_EQ(log.calls, (std::vector<std::string>{"open", "addMonitor", "removeMonitor 5", "close",
                                                   "let the control events go"}));
    EXPECT_NE(console.output.find("released:\n"), std::string::npos) << console.output;
}

// Signing out or shutting down: Windows asks every top-level window with
// WM_QUERYENDSESSION, then ends the session once each has returned from
// WM_ENDSESSION. The test plays Windows' part with the same two messages.
TEST(VdConsoleWineTest, TheSessionEndingDuringAHoldRunsTheRelease) {
    for (bool cancelledFirst : {false, true}) {
        SCOPED_TRACE(cancelledFirst ? "a cancelled sign-out first" : "sign-out");
        PipedStdin input;
        ASSERT_TRUE(input.ok());
        HeldCreate held;
        DriverLog& log = held.log;
        SignallingClock& clock = held.clock;
        ObservedConsole& console = held.console;
        VdCommandLine& line = held.line;

        LRESULT query = -1;
        bool found = false;
        std::thread windows([&] {
            if (WaitForSingleObject(clock.waiting, 10000) != WAIT_OBJECT_0) return;
            HWND window = FindWindowW(L"QuorvaneConsoleHold", nullptr);
            found = window != nullptr;
            if (!found) {
                input.writeLine();
                return;
            }
            DWORD_PTR answer = 0;
            if (SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_BLOCK, 5000, &answer))
                query = static_cast<LRESULT>(answer);
            if (cancelledFirst) {
                // Another program said no: the hold goes on.
                SendMessageW(window, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);
                Sleep(100);
                log.add("still holding");
            }
            SendMessageW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
            log.add("WM_ENDSESSION returned");
        });
        int exitCode = -1;
        EXPECT_TRUE(line.run(exitCode));
        windows.join();

        ASSERT_TRUE(found) << "no hidden window for the session's end";
        EXPECT_EQ(exitCode, 0);
        EXPECT_EQ(query, TRUE);
        std::vector<std::string> expected = {"open", "addMonitor"};
        if (cancelledFirst) expected.push_back("still holding");
        for (const char* call : {"removeMonitor 5", "close", "let the control events go", "WM_ENDSESSION returned"})
            expected.push_back(call);
        EXPECT_EQ(log.calls, expected);
        EXPECT_NE(console.output.find("released:\n"), std::string::npos) << console.output;
        // The window is gone with the hold.
        EXPECT_EQ(FindWindowW(L"QuorvaneConsoleHold", nullptr), nullptr);
    }
}

} // namespace
} // namespace qv
