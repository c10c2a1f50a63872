#pragma once
#include <cstdint>
#include <string>

namespace qv {

class FileHasher;
class FileSystem;
class ProcessApi;
class UpdateEnvironment;
class UpdateFetcher;
class UpdateStaging;
struct UpdateInfo;

// The text of the helper script: wait while the process pid exists, move
// the download over the executable, start it and delete the script. CR LF
// line ends; every path in double quotes, with "%" doubled so that cmd does
// not read part of a path as a variable.
std::string updateHelperScript(uint32_t pid, const std::string& downloadPath, const std::string& exePath);

// The parameters cmd.exe is given to run the helper script: /s /c and the
// path in two pairs of double quotes. With /s cmd drops only the outer pair
// and runs the quoted path as it stands, so a path holding & ( ) ^ @ or
// spaces (a profile named "R&D") still names the script.
std::string helperParameters(const std::string& scriptPath);

// Stages an update: checks that the program's folder can be written,
// downloads the installer under a name of its own (with the process id and a
// count) into the temporary folder (the current folder when there is none),
// or, when the program runs elevated, into a new folder under the Windows
// temporary folder that only administrators and the system can write; checks
// it against the manifest's SHA-256 when one was given, writes the helper
// script beside it and starts it hidden through cmd.exe. The caller then
// quits the program, and the script replaces the executable once the process
// is gone. One install runs at a time in the process.
class UpdateInstaller {
public:
    // SW_HIDE, the helper's show command (winuser.h, learn.microsoft.com "ShowWindow function").
    static constexpr int32_t kSwHide = 0;
    // How long the started helper is watched: one that ends within this time
    // could not run the script (it waits for this process to end).
    static constexpr uint32_t kHelperWaitMs = 1000;
    // The staging folder of an elevated program: a protected DACL (nothing
    // inherited) giving full control to the system and administrators and
    // read and execute to users, inherited by the files inside, so the moved
    // executable can still be started by everyone. SDDL strings: "Security
    // Descriptor String Format", "ACE Strings" (FA, FR, FX, OI, CI, P) and
    // "SID Strings" (SY, BA, BU), learn.microsoft.com/windows/win32/secauthz.
    static constexpr const char* kAdminOnlySddl = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)";

    // Error texts of the steps added around the download.
    static constexpr const char* kAlreadyInstalling = "Another update is already being installed";
    static constexpr const char* kFolderNotWritable = "Cannot write to the program's folder: ";
    static constexpr const char* kNoProtectedFolder = "Cannot create a protected folder for the update";

    UpdateInstaller(UpdateFetcher& fetcher, UpdateEnvironment& environment, UpdateStaging& staging,
                    FileHasher& hasher, ProcessApi& process, FileSystem& files);

    // True once the helper runs and "Update staged; quitting to apply." is
    // logged. On failure error says why, the program keeps running, and
    // nothing this call wrote is left behind.
    bool installUpdate(const UpdateInfo& info, std::string& error);

private:
    bool install(const UpdateInfo& info, std::string& error);

    UpdateFetcher& fetcher_;
    UpdateEnvironment& environment_;
    UpdateStaging& staging_;
    FileHasher& hasher_;
    ProcessApi& process_;
    FileSystem& files_;
};

} // namespace qv
