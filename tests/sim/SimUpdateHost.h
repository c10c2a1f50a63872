#pragma once
#include "sim/SimFileSystem.h"
#include "update/FileHasher.h"
#include "update/UpdateEnvironment.h"
#include "update/UpdateStaging.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace qv::sim {

// The process around the update: its environment variables, temporary
// folder and process id, as plain settable fields; the digest of files in a
// simulated file system (looked up by the file's content); the Windows folder,
// folders made with a security descriptor, and the processes it starts.
class SimUpdateHost final : public UpdateEnvironment, public FileHasher, public UpdateStaging {
public:
    // A process started through startProcess.
    struct Started {
        std::string file;
        std::string parameters;
        std::string directory;
        int32_t show = 0;
        uint32_t waitMs = 0;
    };

    explicit SimUpdateHost(SimFileSystem* files = nullptr) : files_(files) {}

    std::map<std::string, std::string> digestOfContent; // content -> lower-case hex
    std::map<std::string, std::string> variables;
    std::string temp = "C:\\Users\\ann\\AppData\\Local\\Temp\\"; // empty: GetTempPathW fails
    uint32_t pid = 4242;
    std::string windows = "C:\\Windows"; // empty: GetSystemWindowsDirectoryW fails
    bool createFolderFails = false;
    // What became of the next started processes.
    Start startResult = Start::Running;
    // Runs while a file is hashed: what happens during an install.
    std::function<void()> whileHashing;

    // Folders made through createFolder, with the SDDL text they were given.
    std::map<std::string, std::string> folderDescriptors;
    std::vector<Started> started;

    bool variable(const std::string& name, std::string& value) override {
        const auto it = variables.find(name);
        // GetEnvironmentVariableW into 512 characters: empty or too long fails.
        if (it == variables.end() || it->second.empty() || it->second.size() >= 512) return false;
        value = it->second;
        return true;
    }
    bool tempFolder(std::string& path) override {
        if (temp.empty()) return false;
        path = temp;
        return true;
    }
    uint32_t currentProcessId() override { return pid; }

    // A missing file (or none to look in) fails; content without an entry
    // hashes to 64 zeros.
    std::string sha256File(const std::string& path) override {
        if (whileHashing) {
            const std::function<void()> during = std::move(whileHashing);
            whileHashing = nullptr;
            during();
        }
        if (!files_ || !files_->fileExists(path)) return std::string();
        const auto it = digestOfContent.find(files_->content(path));
        return it == digestOfContent.end() ? std::string(64, '0') : it->second;
    }

    bool windowsFolder(std::string& path) override {
        if (windows.empty()) return false;
        path = windows;
        return true;
    }
    // Like CreateDirectoryW: fails when the folder exists or its parent is missing.
    bool createFolder(const std::string& path, const std::string& sddl) override {
        if (createFolderFails || (files_ && !files_->createFolder(path))) return false;
        folderDescriptors[path] = sddl;
        return true;
    }
    bool removeFolder(const std::string& path) override {
        if (files_ && !files_->removeFolder(path)) return false;
        folderDescriptors.erase(path);
        return true;
    }
    Start startProcess(const std::string& file, const std::string& parameters, const std::string& directory,
                       int32_t show, uint32_t waitMs) override {
        started.push_back({file, parameters, directory, show, waitMs});
        return startResult;
    }

private:
    SimFileSystem* files_;
};

} // namespace qv::sim
