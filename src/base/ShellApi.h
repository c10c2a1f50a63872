#pragma once
#include <cstdint>
#include <string>

namespace qv {

// The shell services of the process: files seen by the shell, shell links
// (shortcuts) and starting programs with a verb.
class ShellApi {
public:
    // ShellExecuteExW mask and show command: shellapi.h and winuser.h values,
    // learn.microsoft.com "SHELLEXECUTEINFOW structure" and "ShowWindow function".
    static constexpr uint32_t kSeeMaskNoAsync = 0x100;
    static constexpr int32_t kSwShowNormal = 1;

    struct ShellLink {
        std::string target;
        std::string workingDirectory;
        std::string description;
        std::string iconPath;
        int32_t iconIndex = 0;
    };

    virtual ~ShellApi() = default;

    // True when GetFileAttributesW succeeds on the path.
    virtual bool pathExists(const std::string& path) = 0;
    // CoCreateInstance of CLSID_ShellLink (in-process) for IShellLinkW, the
    // link's fields set, IPersistFile::Save(path, TRUE). False on any failure.
    virtual bool createShellLink(const ShellLink& link, const std::string& path) = 0;
    // ShellExecuteExW, started in the directory when one is given; true when
    // it succeeds.
    virtual bool shellExecuteEx(const std::string& verb, const std::string& file, const std::string& parameters,
                                uint32_t mask, int32_t show, const std::string& directory = {}) = 0;
};

} // namespace qv
