#pragma once
#include "sim/SimFileSystem.h"
#include "update/FileHasher.h"
#include "update/UpdateEnvironment.h"

#include <map>
#include <string>

namespace qv::sim {

// The process around the update: its environment variables, temporary
// folder and process id, as plain settable fields, and the digest of files
// in a simulated file system (looked up by the file's content).
class SimUpdateHost final : public UpdateEnvironment, public FileHasher {
public:
    explicit SimUpdateHost(SimFileSystem* files = nullptr) : files_(files) {}

    std::map<std::string, std::string> digestOfContent; // content -> lower-case hex
    std::map<std::string, std::string> variables;
    std::string temp = "C:\\Users\\ann\\AppData\\Local\\Temp\\"; // empty: GetTempPathW fails
    uint32_t pid = 4242;

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
        if (!files_ || !files_->fileExists(path)) return std::string();
        const auto it = digestOfContent.find(files_->content(path));
        return it == digestOfContent.end() ? std::string(64, '0') : it->second;
    }

private:
    SimFileSystem* files_;
};

} // namespace qv::sim
