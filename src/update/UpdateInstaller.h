#pragma once
#include <cstdint>
#include <string>

namespace qv {

class FileHasher;
class FileSystem;
class ProcessApi;
class ShellApi;
class UpdateEnvironment;
class UpdateFetcher;
struct UpdateInfo;

// The text of "Quorvane.update.cmd": wait while the process pid exists, move
// the download over the executable, start it and delete the script. CR LF
// line ends; every path in double quotes, with "%" doubled so that cmd does
// not read part of a path as a variable.
std::string updateHelperScript(uint32_t pid, const std::string& downloadPath, const std::string& exePath);

// Stages an update: downloads the installer to "Quorvane.update.exe" in the
// temporary folder (the current folder when there is none), checks it
// against the manifest's SHA-256 when one was given, writes the helper script
// "Quorvane.update.cmd" beside it and starts it hidden through cmd.exe. The
// caller then quits the program, and the script replaces the executable once
// the process is gone.
class UpdateInstaller {
public:
    static constexpr int32_t kSwHide = 0;

    UpdateInstaller(UpdateFetcher& fetcher, UpdateEnvironment& environment, FileHasher& hasher, ProcessApi& process,
                    ShellApi& shell, FileSystem& files);

    // True once the helper runs and "Update staged; quitting to apply." is
    // logged. On failure error says why and the program keeps running; a
    // download that failed or did not match its digest is not left behind.
    bool installUpdate(const UpdateInfo& info, std::string& error);

private:
    UpdateFetcher& fetcher_;
    UpdateEnvironment& environment_;
    FileHasher& hasher_;
    ProcessApi& process_;
    ShellApi& shell_;
    FileSystem& files_;
};

} // namespace qv
