#include "update/UpdateInstaller.h"

#include "base/FileSystem.h"
#include "base/Log.h"
#include "base/ProcessApi.h"
#include "base/ShellApi.h"
#include "base/Version.h"
#include "update/FileHasher.h"
#include "update/UpdateCheck.h"
#include "update/UpdateEnvironment.h"
#include "update/UpdateFetcher.h"
#include "update/UpdateVersion.h"

#include <cctype>

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

constexpr const char* kScriptName = "Quorvane.update.cmd";

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

UpdateInstaller::UpdateInstaller(UpdateFetcher& fetcher, UpdateEnvironment& environment, FileHasher& hasher,
                                 ProcessApi& process, ShellApi& shell, FileSystem& files)
    : fetcher_(fetcher), environment_(environment), hasher_(hasher), process_(process), shell_(shell),
      files_(files) {}

bool UpdateInstaller::installUpdate(const UpdateInfo& info, std::string& error) {
    error.clear();
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

    std::string folder;
    if (!environment_.tempFolder(folder)) folder.clear();
    if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += '\\';
    const std::string downloadPath = folder + "Quorvane.update.exe";
    const std::string scriptPath = folder + kScriptName;

    if (!fetcher_.fetchUrl(info.url, nullptr, downloadPath, true, error)) {
        if (error.empty()) error = "Download failed";
        return false;
    }

    if (!info.sha256.empty()) {
        const std::string actual = hasher_.sha256File(downloadPath);
        if (actual.empty() || actual != lowerAscii(info.sha256)) {
            // A file that is not what the manifest promised is not kept where
            // a later step could run it.
            files_.removeFile(downloadPath);
            error = "Downloaded installer failed its integrity (SHA-256) check";
            return false;
        }
    }

    std::string exePath;
    if (!process_.modulePath(exePath)) {
        error = "Cannot locate current executable";
        return false;
    }

    const std::string script = updateHelperScript(environment_.currentProcessId(), downloadPath, exePath);
    std::unique_ptr<FileSystem::File> file = files_.openWrite(scriptPath);
    if (!file) {
        error = "Cannot write update helper";
        return false;
    }
    const bool written = file->write(script) == static_cast<int64_t>(script.size());
    const bool closed = file->close();
    file.reset();
    if (!written || !closed) {
        // A cut script must not be started later by hand or by a retry.
        files_.removeFile(scriptPath);
        error = "Cannot write update helper";
        return false;
    }

    // cmd expands %NAME% on its own command line, where doubling does not
    // escape: a temporary folder holding "%" would name another script. The
    // script is then started by its bare name in its folder instead.
    const bool started = scriptPath.find('%') == std::string::npos
                             ? shell_.shellExecuteEx("open", "cmd.exe", "/c \"" + scriptPath + "\"", 0, kSwHide)
                             : shell_.shellExecuteEx("open", "cmd.exe", std::string("/c \"") + kScriptName + "\"", 0, kSwHide, folder);
    if (!started) {
        error = "Could not launch update helper";
        return false;
    }
    log::write(log::Info, "Update staged; quitting to apply.");
    return true;
}

} // namespace qv
