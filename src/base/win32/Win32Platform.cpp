#include "base/win32/Win32Platform.h"

#include "base/win32/Win32CrashApi.h"
#include "base/win32/Win32DebugOutput.h"
#include "base/win32/Win32FileSystem.h"
#include "base/win32/Win32KnownFolders.h"

namespace qv {

void installWin32Platform() {
    // Never destroyed: the log may still write while static objects are torn down.
    static Win32FileSystem* fileSystem = new Win32FileSystem;
    static Win32KnownFolders* knownFolders = new Win32KnownFolders;
    static Win32DebugOutput* debugOutput = new Win32DebugOutput;
    static Win32CrashApi* crashApi = new Win32CrashApi;
    FileSystem::install(fileSystem);
    KnownFolders::install(knownFolders);
    DebugOutput::install(debugOutput);
    CrashApi::install(crashApi);
}

} // namespace qv
