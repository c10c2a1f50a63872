#pragma once
#include "sim/SimCrashApi.h"
#include "sim/SimDebugOutput.h"
#include "sim/SimDisplays.h"
#include "sim/SimFileSystem.h"
#include "sim/SimHotkeys.h"
#include "sim/SimKnownFolders.h"
#include "sim/SimProcess.h"
#include "sim/SimShell.h"
#include "sim/SimTickSource.h"
#include "sim/SimWindows.h"

namespace qv {
class CrashApi;
class DebugOutput;
class FileSystem;
class KnownFolders;
} // namespace qv

namespace qv::sim {

// One simulated Windows desktop: its monitors, the top-level windows on them,
// the disk and the user's known folders, the debugger channel, the hotkey
// table, the tick count, the crash hooks, and the process with its shell.
// Each part keeps its own interface; they share state where Windows does
// (windows sit on the monitors of `displays`, dumps land in `files`, the
// shell posts into `process`).
//
// While it lives, the desktop is the process-wide file system, known-folder
// source, debugger output and crash API; the ports that were installed
// before are put back when it goes. Desktops may nest; they must end in the
// reverse order of their creation.
class SimDesktop {
public:
    SimDesktop();
    ~SimDesktop();

    SimDesktop(const SimDesktop&) = delete;
    SimDesktop& operator=(const SimDesktop&) = delete;

    // The signed-in user's profile: the folder the known folders report as
    // roaming application data exists on disk.
    void createUserProfile();

    SimDisplays displays;
    SimWindows windows{displays};
    SimFileSystem files;
    SimKnownFolders folders;
    SimDebugOutput debug;
    SimHotkeys hotkeys;
    SimTickSource ticks;
    SimCrashApi crash{files};
    SimProcess process;
    SimShell shell{process};

private:
    FileSystem* previousFiles_ = nullptr;
    KnownFolders* previousFolders_ = nullptr;
    DebugOutput* previousDebug_ = nullptr;
    CrashApi* previousCrash_ = nullptr;
};

} // namespace qv::sim
