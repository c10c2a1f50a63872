#pragma once
#include <cstdint>
#include <string>

namespace qv {

// What staging an update asks of Windows besides files and HTTP: the shared
// Windows folder, a folder with a security descriptor of the caller's choice,
// and starting the helper while seeing whether it keeps running.
class UpdateStaging {
public:
    // What became of a started process.
    enum class Start {
        Failed,  // ShellExecuteExW failed or gave no process
        Exited,  // the process ended within the wait
        Running, // the process was still running when the wait ended
    };

    virtual ~UpdateStaging() = default;

    // GetSystemWindowsDirectoryW: the Windows folder shared by every user
    // (no trailing backslash); false on failure.
    virtual bool windowsFolder(std::string& path) = 0;
    // CreateDirectoryW with the security descriptor that
    // ConvertStringSecurityDescriptorToSecurityDescriptorW makes of the SDDL
    // text; false when either fails, also when the folder already exists.
    virtual bool createFolder(const std::string& path, const std::string& sddl) = 0;
    // RemoveDirectoryW: removes an empty folder.
    virtual bool removeFolder(const std::string& path) = 0;
    // ShellExecuteExW with verb "open", SEE_MASK_NOCLOSEPROCESS and
    // SEE_MASK_FLAG_NO_UI (a failure is reported by the caller, not in a box
    // of the shell's) and the show command, in the directory when one is given; then waits up to waitMs
    // for the process to end and closes its handle.
    virtual Start startProcess(const std::string& file, const std::string& parameters, const std::string& directory,
                               int32_t show, uint32_t waitMs) = 0;
};

} // namespace qv
