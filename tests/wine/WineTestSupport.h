// Shared pieces of the adapter tests: a temporary folder of the test's own,
// known folders that point into it, the log's debugger lines kept for
// inspection, and a fixture for tests on real files.
#pragma once
#include "actions/Action.h"
#include "base/DebugOutput.h"
#include "base/KnownFolders.h"
#include "windows/WindowSystem.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <functional>

#include <string>
#include <vector>

namespace qv {

// A path under the Windows temporary folder that no other test of this run
// and no other run uses: the prefix, the process id and a counter. The folder
// is not created (tests that check folder creation need it missing); on
// destruction it is removed with everything in it. The path is empty when the
// temporary folder cannot be resolved.
class TempFolder {
public:
    explicit TempFolder(const char* prefix);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Roaming application data inside a test's own temporary folder, so the test
// never touches the real settings. Installed while it lives; the known
// folders installed before come back on destruction.
class TempKnownFolders final : public KnownFolders {
public:
    explicit TempKnownFolders(std::string roaming);
    ~TempKnownFolders() override;
    TempKnownFolders(const TempKnownFolders&) = delete;
    TempKnownFolders& operator=(const TempKnownFolders&) = delete;

    std::string path(KnownFolder folder) override;

private:
    std::string roaming_;
    KnownFolders* previous_;
};

// Keeps the log's debugger lines for inspection. Installed while it lives;
// the output installed before comes back on destruction.
class CapturedLog final : public DebugOutput {
public:
    CapturedLog();
    ~CapturedLog() override;
    CapturedLog(const CapturedLog&) = delete;
    CapturedLog& operator=(const CapturedLog&) = delete;

    void write(const std::string& text) override { lines.push_back(text); }
    // Whether the log wrote `message` at `level` ("INF", "WRN", "ERR").
    bool has(const std::string& level, const std::string& message) const;
    // How often exactly this line (with its "[Quorvane][...]" prefix and line feed) was written.
    int count(const std::string& line) const;

    std::vector<std::string> lines;

private:
    DebugOutput* previous_;
};

// A window of the test's own that owns hotkeys or a tray icon while it lives:
// message-only, or a hidden top-level tool window where the shell needs one.
// The second form is a 200 × 150 pop-up with the extended style, shown or
// not, put at the top of its band of the Z order without being activated
// (Wine's X11 driver then leaves it unmanaged, and destroying it does not
// wait for a window manager).
class TestWindow {
public:
    enum class Kind { MessageOnly, HiddenTopLevel };
    TestWindow(const wchar_t* className, Kind kind);
    TestWindow(const wchar_t* className, uint32_t exStyle, bool visible);
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    bool ok() const { return window_ != 0; }
    WindowHandle handle() const { return window_; }

private:
    WindowHandle window_ = 0;
};

// Acts on a modal window of the class once it is on the screen, as a user
// would: the steps run one per tick of a 20 ms thread timer, which the
// window's own message loop dispatches. A window still there five seconds
// after the last step is destroyed, so a failing test cannot hang the run.
// One at a time.
class ModalSteps {
public:
    using Step = std::function<void(HWND window)>;
    ModalSteps(const wchar_t* className, std::vector<Step> steps);
    ~ModalSteps();
    ModalSteps(const ModalSteps&) = delete;
    ModalSteps& operator=(const ModalSteps&) = delete;

    size_t stepsRun() const { return next_; }
    bool timedOut() const { return timedOut_; }

private:
    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD);

    static inline ModalSteps* current_ = nullptr;
    std::wstring className_;
    std::vector<Step> steps_;
    UINT_PTR timer_ = 0;
    size_t next_ = 0;
    int ticksAfterSteps_ = 0;
    bool timedOut_ = false;
};

// Holds a file open for reading without allowing it to be deleted or renamed,
// as a viewer or a virus scanner might; or, exclusively, without sharing it
// at all, as an editor or a sync client might.
class HeldOpen {
public:
    enum class Sharing { ReadWrite, None };
    explicit HeldOpen(const std::string& path, Sharing sharing = Sharing::ReadWrite);
    ~HeldOpen() { release(); }
    HeldOpen(const HeldOpen&) = delete;
    HeldOpen& operator=(const HeldOpen&) = delete;

    bool held() const;
    void release();

private:
    void* handle_; // the file's HANDLE
};

// A test on real files through the Win32 platform. `root` is a TempFolder
// named after the prefix. The platform is installed when the fixture is made,
// before the derived fixture's members, so ports those members install
// (TempKnownFolders, CapturedLog) stay in place for the test.
class TempFolderTest : public ::testing::Test {
protected:
    explicit TempFolderTest(const char* prefix);
    void SetUp() override;

    // The whole file through the installed file system; a failed read fails the test.
    static std::string read(const std::string& path);
    static bool exists(const std::string& path);
    // Creates the missing folders of the path's chain, then the file with these bytes.
    static void writeFile(const std::string& path, const std::string& bytes);
    // Whether text is a JSON object as the program writes settings files: "{"
    // and "}" on lines of their own, every line ended by CR LF.
    static ::testing::AssertionResult isCrLfObject(const std::string& text);

private:
    TempFolder temp_;

protected:
    const std::string root;
};

// --- Two monitors ---------------------------------------------------------------
// The suites whose names begin with "TwoMonitors" run only in the two-monitor
// tier (scripts/lib-xorg.sh: Xorg's dummy driver with two 1920x1080 outputs
// side by side); the one-monitor adapter run leaves them out. What Wine 8
// does there, measured:
//   * \\.\DISPLAY1 is the primary monitor at 0,0-1920,1080, \\.\DISPLAY2 lies
//     right of it at 1920,0-3840,1080; each work area is its whole monitor.
//   * ChangeDisplaySettingsEx is carried out: a mode the output lists
//     (1280x720) is set on the X output and read back, and a zero-sized mode
//     committed detaches the display (attaching it again at 1920,0 brings it
//     back). Wine broadcasts WM_DISPLAYCHANGE after each.
//   * A monitor that goes away (detached that way, or turned off with xrandr
//     outside the program) leaves its windows where they were; Windows moves
//     them onto a remaining monitor. An output turned off or on with xrandr
//     changes the monitor list without any WM_DISPLAYCHANGE at all, which
//     Windows would send. Tests that need what Windows does play its part
//     with playWindowsDisplayChange() and say so.
//   * SetDisplayConfig reports success for topology changes (clone, internal,
//     extend) it does not carry out: no test asserts on such a change.
//   * A window maximised, restored, moved and maximised again in quick
//     succession ends restored: the X events of the restore arrive after the
//     second maximise. Tests look at the maximise itself (WM_SIZE), not at
//     the state that is left.
//   * Wine's own "Wine System Tray" window (class __winex11_standalone_tray)
//     passes the application window test, so a gather moves it too; tests
//     look at their own windows only.

// A monitor as EnumDisplayMonitors reports it, in its order.
struct SystemMonitor {
    std::string device;  // \\.\DISPLAYn
    ScreenRect monitor;
    ScreenRect work;
    bool primary = false;
};
std::vector<SystemMonitor> systemMonitors();

// Base of the two-monitor suites: skips the test, with the reason, when
// Wine reports fewer than two monitors (the test runs outside the tier).
class TwoMonitorTest : public ::testing::Test {
protected:
    void SetUp() override;
};

// What Windows does after a monitor went away and Wine does not: every
// visible top-level window of any process whose rectangle meets no monitor
// is moved, keeping its size, to the nearest place in the primary monitor's
// work area; then WM_DISPLAYCHANGE (the primary display's bits per pixel and
// size) is sent to every top-level window. Returns the number of windows
// moved. Pumps the calling thread's messages afterwards.
int playWindowsDisplayChange();

} // namespace qv
