#pragma once

namespace qv {

// Installs the Win32 implementations of the process-wide ports (file system,
// known folders, debugger output, the crash handler's system calls). Called
// first thing by the entry point; the implementations live until the process
// ends.
void installWin32Platform();

} // namespace qv
