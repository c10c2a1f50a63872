#include "base/FileSystem.h"

#include <atomic>

namespace qv {

namespace {

class NoFileSystem final : public FileSystem {
public:
    bool createFolder(const std::string&) override { return false; }
    std::unique_ptr<File> openAppend(const std::string&) override { return nullptr; }
    std::unique_ptr<File> openWrite(const std::string&) override { return nullptr; }
    ReadStatus readFile(const std::string&, std::string&, std::string&) override { return ReadStatus::Missing; }
    bool moveFile(const std::string&, const std::string&, uint32_t) override { return false; }
    bool copyFile(const std::string&, const std::string&) override { return false; }
    bool removeFile(const std::string&) override { return false; }
    bool listFolder(const std::string&, std::vector<FolderEntry>&) override { return false; }
};

NoFileSystem& noFileSystem() {
    static NoFileSystem* none = new NoFileSystem;
    return *none;
}

std::atomic<FileSystem*> g_installed{nullptr};

bool isSeparator(char c) { return c == '\\' || c == '/'; }

} // namespace

void FileSystem::createFolderChain(const std::string& path) {
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i != path.size() && !isSeparator(path[i])) continue;
        // Skip empty levels (a leading separator, doubled separators).
        if (i == 0 || isSeparator(path[i - 1])) continue;
        createFolder(path.substr(0, i));
    }
}

FileSystem& FileSystem::current() {
    FileSystem* fs = g_installed.load();
    return fs ? *fs : noFileSystem();
}

FileSystem* FileSystem::install(FileSystem* fileSystem) { return g_installed.exchange(fileSystem); }

std::string parentFolder(const std::string& path) {
    size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

} // namespace qv
