#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// The files and folders the log and the settings need. Paths are UTF-8 in
// Windows form (backslash separators). The Win32 implementation converts and
// calls; every decision (which folders, which flags, in which order) is made by
// the callers.
class FileSystem {
public:
    // Flags of a move; the values are those of MoveFileExW (winbase.h,
    // learn.microsoft.com "MoveFileExW function").
    static constexpr uint32_t kMoveReplaceExisting = 0x1;
    static constexpr uint32_t kMoveCopyAllowed = 0x2;
    static constexpr uint32_t kMoveWriteThrough = 0x8;

    enum class ReadStatus {
        Ok,
        Missing,    // there is no such file (or no such folder)
        CannotOpen, // the file exists but cannot be opened: held by another program, access denied
        Failed,     // opened, but reading failed
    };

    // One entry of a folder listing.
    struct FolderEntry {
        std::string name;         // the entry's own name, without the folder
        bool regularFile = false; // false for folders and devices
    };

    // An open file (a C stream on Windows). Closed by close() or, failing that,
    // by the destructor.
    class File {
    public:
        virtual ~File() = default;
        // Size of the file: seek to its end and report the position; negative on failure.
        virtual int64_t size() = 0;
        // Writes the bytes; returns how many were written, or a negative value on failure.
        virtual int64_t write(std::string_view bytes) = 0;
        // Hands buffered bytes to the operating system.
        virtual bool flush() = 0;
        // Flushes and asks the operating system to put the bytes on the disk.
        virtual bool commit() = 0;
        virtual bool close() = 0;
    };

    virtual ~FileSystem() = default;

    // Creates one folder; fails when it exists or its parent is missing.
    virtual bool createFolder(const std::string& path) = 0;
    // Opens for appending binary data, creating the file if needed.
    virtual std::unique_ptr<File> openAppend(const std::string& path) = 0;
    // Creates or truncates the file and opens it for writing binary data.
    virtual std::unique_ptr<File> openWrite(const std::string& path) = 0;
    // Reads the whole file as bytes, while others may read and write it. For
    // CannotOpen and Failed, error says why (the system's text and code).
    virtual ReadStatus readFile(const std::string& path, std::string& out, std::string& error) = 0;
    virtual bool moveFile(const std::string& from, const std::string& to, uint32_t flags) = 0;
    // Copies, replacing an existing target.
    virtual bool copyFile(const std::string& from, const std::string& to) = 0;
    virtual bool removeFile(const std::string& path) = 0;
    // Lists the entries of a folder (without "." and ".."), in no particular
    // order; false when the folder cannot be read.
    virtual bool listFolder(const std::string& path, std::vector<FolderEntry>& out) = 0;

    // Creates every folder of the chain ending at path, one level at a time,
    // ignoring errors (levels that exist fail harmlessly).
    void createFolderChain(const std::string& path);

    // The process-wide file system. Until one is installed, a stand-in that
    // fails every operation is used. install returns the previous one;
    // nullptr reinstalls the stand-in. The caller keeps ownership.
    static FileSystem& current();
    static FileSystem* install(FileSystem* fileSystem);
};

// The folder part of a path: everything before its last backslash or slash,
// or empty when there is none.
std::string parentFolder(const std::string& path);

} // namespace qv
