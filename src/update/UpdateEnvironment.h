#pragma once
#include <cstdint>
#include <string>

namespace qv {

// What the update asks of the process around it besides files, HTTP and the
// shell: environment variables (the update token), the temporary folder and
// the process id.
class UpdateEnvironment {
public:
    virtual ~UpdateEnvironment() = default;

    // GetEnvironmentVariableW into a 512-character buffer; false when the
    // variable is not set, is empty or does not fit.
    virtual bool variable(const std::string& name, std::string& value) = 0;
    // GetTempPathW: a folder path ending in a backslash; false on failure.
    virtual bool tempFolder(std::string& path) = 0;
    // GetCurrentProcessId.
    virtual uint32_t currentProcessId() = 0;
};

// The bearer token for the update server: "QUORVANE_GH_TOKEN", or failing
// that "GITHUB_TOKEN", when it holds 1 to 511 characters. A value with a line
// break or another control character is not a token (it would add headers of
// its own to the request) and is passed over. Empty when there is none.
std::string updateToken(UpdateEnvironment& environment);

} // namespace qv
