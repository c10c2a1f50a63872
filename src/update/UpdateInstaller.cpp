#include "update/UpdateInstaller.h"

#include "base/FileSystem.h"
#include "base/Log.h"
#include "base/ProcessApi.h"
#include "base/Version.h"
#include "update/FileHasher.h"
#include "update/UpdateCheck.h"
#include "update/UpdateEnvironment.h"
#include "update/UpdateFetcher.h"
#include "update/UpdateStaging.h"
#include "update/UpdateVersion.h"

#include <atomic>
#include <cctype>
#include <memory>

namespace qv {
namespace {

// A path as a batch file must hold it: "%" would start a variable, so it is
// doubled. Paths cannot hold double quotes, so quoting covers the rest.
std::string batchPath(const std::string& path) {
    std::string out;
    for (char c : path) {
        out += c;
        if (c == '%') out += '%';
    }
    return out;
}

bool isAscii(const std::string& text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

std::string lowerAscii(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

std::string updateHelperScript(uint32_t pid, const std::string& downloadPath, const std::string& exePath) {
    const std::string id = std::to_string(pid);
    const std::string download = batchPath(downloadPath);
    const std::string exe = batchPath(exePath);
    std::string script;
    script += "@echo off\r\n";
    // cmd reads a batch file in the console's code page, not as UTF-8: with a
    // path beyond ASCII (a user folder named José) the lines that follow are
    // read as UTF-8, or the move would name a file that does not exist.
    if (!isAscii(downloadPath) || !isAscii(exePath)) script += "chcp 65001 >nul\r\n";
    script += ":loop\r\n";
    script += "tasklist /FI \"PID eq " + id + "\" | find \"" + id +
              "\" >nul 2>&1 && (timeout /t 1 /nobreak >nul & goto loop)\r\n";
    script += "move /Y \"" + download + "\" \"" + exe + "\" >nul\r\n";
    script += "start \"\" \"" + exe + "\"\r\n";
    script += "del \"%~f0\"\r\n";
    return script;
}

std::string helperParameters(const std::string& scriptPath) { return "/s /c \"\"" + scriptPath + "\"\""; }

UpdateInstaller::UpdateInstaller(UpdateFetcher& fetcher, UpdateEnvironment& environment, UpdateStaging& staging,
                                 FileHasher& hasher, ProcessApi& process, FileSystem& files)
    : fetcher_(fetcher), environment_(environment), staging_(staging), hasher_(hasher), process_(process),
      files_(files) {}

bool UpdateInstaller::installUpdate(const UpdateInfo& info, std::string& error) {
    error.clear();
    // An automatic and a requested install may meet; the second gives way at
    // once rather than download beside the first.
    static std::atomic<bool> installing{false};
    if (installing.exchange(true)) {
        error = kAlreadyInstalling;
        return false;
    }
    const bool installed = install(info, error);
    installing = false;
    return installed;
}

bool UpdateInstaller::install(const UpdateInfo& info, std::string& error) {
    if (info.url.empty()) {
        error = "No download URL";
        return false;
    }
    // Whatever the caller decided, an equal or older version never replaces
    // the running one.
    if (!isNewerVersion(info.latest, kVersion)) {
        error = "No newer version to install";
        return false;
    }

    std::string exePath;
    if (!process_.modulePath(exePath)) {
        error = "Cannot locate current executable";
        return false;
    }

    // Every install names its files apart, so nothing of an earlier or
    // concurrent attempt is overwritten or run.
    static std::atomic<uint32_t> installCount{0};
    const uint32_t pid = environment_.currentProcessId();
    const std::string tag = std::to_string(pid) + "." + std::to_string(++installCount);

    // The helper replaces the executable in its folder: when that folder
    // cannot be written the program would quit and restart unchanged.
    const std::string exeFolder = parentFolder(exePath);
    const std::string probePath =
        (exeFolder.empty() ? std::string() : exeFolder + "\\") + "Quorvane.write-test." + tag + ".tmp";
    {
        std::unique_ptr<FileSystem::File> probe = files_.openWrite(probePath);
        const bool created = probe != nullptr;
        const bool closed = created && probe->close();
        probe.reset();
        const bool removed = created && files_.removeFile(probePath);
        if (!created || !closed || !removed) {
            error = kFolderNotWritable + (exeFolder.empty() ? std::string(".") : exeFolder);
            return false;
        }
    }

    // Elevated, the helper runs elevated: a script or download the user's
    // other programs can rewrite would run with the administrator's rights.
    // The user's own temporary folder does not protect them even inside a
    // locked folder, since the user may rename any entry of it away and put
    // another in its place. Users may create entries in the Windows
    // temporary folder but not delete or rename those of others, so a folder
    // made there with a protected DACL stays where and what it is.
    uint32_t elevation = 0;
    const bool elevated = process_.tokenElevation(elevation) && elevation != 0;
    std::string folder;
    std::string protectedFolder;
    if (elevated) {
        std::string windows;
        if (!staging_.windowsFolder(windows) || windows.empty()) {
            error = kNoProtectedFolder;
            return false;
        }
        while (!windows.empty() && (windows.back() == '\\' || windows.back() == '/')) windows.pop_back();
        const std::string candidate = windows + "\\Temp\\Quorvane.update." + tag;
        if (!staging_.createFolder(candidate, kAdminOnlySddl)) {
            error = std::string(kNoProtectedFolder) + ": " + candidate;
            return false;
        }
        protectedFolder = candidate;
        folder = candidate + "\\";
    } else {
        if (!environment_.tempFolder(folder)) folder.clear();
        if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += '\\';
    }
    const std::string scriptName = "Quorvane.update." + tag + ".cmd";
    const std::string downloadPath = folder + "Quorvane.update." + tag + ".exe";
    const std::string scriptPath = folder + scriptName;

    // Whatever fails from here on, nothing written is left behind.
    const auto discard = [&] {
        files_.removeFile(downloadPath);
        files_.removeFile(scriptPath);
        if (!protectedFolder.empty()) staging_.removeFolder(protectedFolder);
    };

    if (!fetcher_.fetchUrl(info.url, nullptr, downloadPath, true, error)) {
        if (error.empty()) error = "Download failed";
        discard();
        return false;
    }

    if (!info.sha256.empty()) {
        const std::string actual = hasher_.sha256File(downloadPath);
        if (actual.empty() || actual != lowerAscii(info.sha256)) {
            // A file that is not what the manifest promised is not kept where
            // a later step could run it.
            discard();
            error = "Downloaded installer failed its integrity (SHA-256) check";
            return false;
        }
    }

    const std::string script = updateHelperScript(pid, downloadPath, exePath);
    std::unique_ptr<FileSystem::File> file = files_.openWrite(scriptPath);
    const bool written = file && file->write(script) == static_cast<int64_t>(script.size());
    const bool closed = file && file->close();
    file.reset();
    if (!written || !closed) {
        // A cut script must not be started later by hand or by a retry.
        discard();
        error = "Cannot write update helper";
        return false;
    }

    // cmd expands %NAME% on its own command line, where doubling does not
    // escape: a folder holding "%" would name another script. The script is
    // then started by its bare name in its folder instead.
    const bool bareName = scriptPath.find('%') != std::string::npos;
    const UpdateStaging::Start started =
        staging_.startProcess("cmd.exe", helperParameters(bareName ? scriptName : scriptPath),
                              bareName ? folder : std::string(), kSwHide, kHelperWaitMs);
    if (started != UpdateStaging::Start::Running) {
        discard();
        error = "Could not launch update helper";
        return false;
    }
    if (!protectedFolder.empty())
        log::write(log::Info, "Update staged in " + protectedFolder + " (writable by administrators only)");
    log::write(log::Info, "Update staged; quitting to apply.");
    return true;
}

} // namespace qv
