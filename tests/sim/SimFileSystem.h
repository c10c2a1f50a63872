#pragma once
#include "base/FileSystem.h"

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace qv::sim {

// An in-memory file system with Windows-form paths. Like Windows, it refuses to
// create a file or folder whose parent folder is missing, and to move or delete
// a file that is open. Any operation can be made to fail for one path, and every
// call is recorded as a line of text, for example
// "move C:\a\qv.log -> C:\a\qv.log.1 flags=3". Folder listings come in
// descending name order, so callers that need an order must sort.
// A path without a separator ("C:", ".") is a root and always exists.
// Safe to use from several threads.
class SimFileSystem final : public FileSystem {
public:
    enum class Op { Open, Read, Write, Flush, Commit, Close, Move, Copy, Remove, CreateFolder, List };

    SimFileSystem();
    ~SimFileSystem() override;

    // --- set-up and inspection (not recorded) ---
    void addFolder(const std::string& path);                         // with its parents
    void setFile(const std::string& path, const std::string& bytes); // with its parent folders
    bool fileExists(const std::string& path) const;
    bool folderExists(const std::string& path) const;
    std::string content(const std::string& path) const; // empty when missing
    std::vector<std::string> files() const;              // every file path, sorted

    // Make `op` on `path` fail until clearFailures() (which also makes
    // read-only folders writable again); for Move and Copy the path is the source.
    void failOn(Op op, const std::string& path);
    void clearFailures();

    // Another program holds the file open without sharing (as an editor or a
    // sync client may): until release, it cannot be opened, read, copied,
    // replaced, moved or deleted.
    void holdWithoutSharing(const std::string& path);
    void release(const std::string& path);

    // The folder's entries cannot be created, replaced or removed (as a
    // program folder under Program Files for a program run unelevated).
    void setReadOnlyFolder(const std::string& path);
    // Removes an empty folder (RemoveDirectoryW); false when it is missing,
    // holds entries or lies in a read-only folder.
    bool removeFolder(const std::string& path);

    // Writes land one byte at a time, yielding between bytes, so unguarded
    // writers from several threads interleave.
    void setSlowWrites(bool slow);

    std::vector<std::string> calls() const;
    void clearCalls();

    // --- qv::FileSystem ---
    bool createFolder(const std::string& path) override;
    std::unique_ptr<File> openAppend(const std::string& path) override;
    std::unique_ptr<File> openWrite(const std::string& path) override;
    ReadStatus readFile(const std::string& path, std::string& out, std::string& error) override;
    bool moveFile(const std::string& from, const std::string& to, uint32_t flags) override;
    bool copyFile(const std::string& from, const std::string& to) override;
    bool removeFile(const std::string& path) override;
    bool listFolder(const std::string& path, std::vector<FolderEntry>& out) override;

    struct State; // shared with open files, which may outlive the file system

private:
    std::unique_ptr<File> open(const std::string& path, bool truncate);

    std::shared_ptr<State> state_;
};

} // namespace qv::sim
