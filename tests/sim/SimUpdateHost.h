#pragma once
#include "update/UpdateEnvironment.h"

#include <map>
#include <string>

namespace qv::sim {

// The process around the update: its environment variables, temporary
// folder and process id, as plain settable fields.
class SimUpdateHost final : public UpdateEnvironment {
public:
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
};

} // namespace qv::sim
