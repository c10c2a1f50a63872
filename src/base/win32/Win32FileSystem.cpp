#include "base/win32/Win32FileSystem.h"

#include "base/win32/SystemMessage.h"
#include "base/win32/Utf16.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <io.h>
#include <share.h>

namespace qv {

// mingw's winbase.h, a second source for the move flags.
static_assert(FileSystem::kMoveReplaceExisting == MOVEFILE_REPLACE_EXISTING);
static_assert(FileSystem::kMoveCopyAllowed == MOVEFILE_COPY_ALLOWED);
static_assert(FileSystem::kMoveWriteThrough == MOVEFILE_WRITE_THROUGH);

namespace {

class StreamFile final : public FileSystem::File {
public:
    explicit StreamFile(FILE* f) : f_(f) {}
    ~StreamFile() override { close(); }

    int64_t size() override {
        if (!f_ || _fseeki64(f_, 0, SEEK_END) != 0) return -1;
        return _ftelli64(f_);
    }

    int64_t write(std::string_view bytes) override {
        if (!f_) return -1;
        size_t n = std::fwrite(bytes.data(), 1, bytes.size(), f_);
        return n == bytes.size() ? static_cast<int64_t>(n) : -1;
    }

    bool flush() override { return f_ && std::fflush(f_) == 0; }

    bool commit() override {
        if (!flush()) return false;
        HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f_)));
        return h != INVALID_HANDLE_VALUE && FlushFileBuffers(h) != 0;
    }

    bool close() override {
        if (!f_) return true;
        int rc = std::fclose(f_);
        f_ = nullptr;
        return rc == 0;
    }

private:
    FILE* f_;
};

std::unique_ptr<FileSystem::File> openStream(const std::string& path, const wchar_t* mode) {
    FILE* f = _wfsopen(widen(path).c_str(), mode, _SH_DENYNO);
    if (!f) return nullptr;
    return std::make_unique<StreamFile>(f);
}

} // namespace

bool Win32FileSystem::createFolder(const std::string& path) {
    return CreateDirectoryW(widen(path).c_str(), nullptr) != 0;
}

std::unique_ptr<FileSystem::File> Win32FileSystem::openAppend(const std::string& path) {
    return openStream(path, L"ab");
}

std::unique_ptr<FileSystem::File> Win32FileSystem::openWrite(const std::string& path) {
    return openStream(path, L"wb");
}

FileSystem::ReadStatus Win32FileSystem::readFile(const std::string& path, std::string& out, std::string& error) {
    HANDLE file = CreateFileW(widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return ReadStatus::Missing;
        error = errorDescription(code);
        return ReadStatus::CannotOpen;
    }
    out.clear();
    char buf[16384];
    DWORD n = 0;
    BOOL ok;
    while ((ok = ReadFile(file, buf, sizeof buf, &n, nullptr)) && n > 0) out.append(buf, n);
    if (!ok) error = errorDescription(GetLastError());
    CloseHandle(file);
    return ok ? ReadStatus::Ok : ReadStatus::Failed;
}

bool Win32FileSystem::moveFile(const std::string& from, const std::string& to, uint32_t flags) {
    return MoveFileExW(widen(from).c_str(), widen(to).c_str(), flags) != 0;
}

bool Win32FileSystem::copyFile(const std::string& from, const std::string& to) {
    return CopyFileW(widen(from).c_str(), widen(to).c_str(), FALSE) != 0;
}

bool Win32FileSystem::removeFile(const std::string& path) { return DeleteFileW(widen(path).c_str()) != 0; }

bool Win32FileSystem::listFolder(const std::string& path, std::vector<FolderEntry>& out) {
    out.clear();
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(widen(path + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        if (std::wcscmp(data.cFileName, L".") == 0 || std::wcscmp(data.cFileName, L"..") == 0) continue;
        constexpr DWORD kNotRegular = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE;
        out.push_back({narrow(data.cFileName), (data.dwFileAttributes & kNotRegular) == 0});
    } while (FindNextFileW(find, &data));
    bool complete = GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(find);
    return complete;
}

} // namespace qv
