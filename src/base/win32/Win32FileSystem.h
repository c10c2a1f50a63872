#pragma once
#include "base/FileSystem.h"

namespace qv {

// Files through the C runtime's wide-character streams and folders and moves
// (and listings) through kernel32; paths are converted to UTF-16 at each call.
class Win32FileSystem final : public FileSystem {
public:
    bool createFolder(const std::string& path) override;
    std::unique_ptr<File> openAppend(const std::string& path) override;
    std::unique_ptr<File> openWrite(const std::string& path) override;
    ReadStatus readFile(const std::string& path, std::string& out, std::string& error) override;
    bool moveFile(const std::string& from, const std::string& to, uint32_t flags) override;
    bool copyFile(const std::string& from, const std::string& to) override;
    bool removeFile(const std::string& path) override;
    bool listFolder(const std::string& path, std::vector<FolderEntry>& out) override;
};

} // namespace qv
