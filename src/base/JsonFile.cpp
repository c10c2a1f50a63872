#include "base/JsonFile.h"

#include "base/FileSystem.h"
#include "base/Log.h"

#include <nlohmann/json.hpp>

#include <memory>

namespace qv {

namespace {

// The program's JSON files are text files: on Windows their lines end in CR LF.
#ifdef _WIN32
constexpr bool kCrLfLineEnds = true;
#else
constexpr bool kCrLfLineEnds = false;
#endif

std::string toTextLineEnds(const std::string& text) {
    if (!kCrLfLineEnds) return text;
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

// The bytes of the file. Objects are ordered maps, so members come out sorted
// by name. Invalid UTF-8 is replaced rather than thrown over, so the text is
// always valid JSON.
std::string fileText(const nlohmann::json& doc) {
    return toTextLineEnds(doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
}

} // namespace

JsonFile::JsonFile(std::string what) : what_(std::move(what)) {}

JsonFile::ReadResult JsonFile::read(const std::string& path, nlohmann::json& doc, std::string& error) const {
    std::string text;
    std::string why;
    switch (FileSystem::current().readFile(path, text, why)) {
    case FileSystem::ReadStatus::Missing:
        return ReadResult::Missing;
    case FileSystem::ReadStatus::CannotOpen:
        error = why;
        return ReadResult::CannotOpen;
    case FileSystem::ReadStatus::Failed:
        error = "the file could not be read";
        return ReadResult::Unreadable;
    case FileSystem::ReadStatus::Ok:
        break;
    }
    try {
        // A text-mode read would have turned CR LF into LF; the parser takes both.
        doc = nlohmann::json::parse(text);
    } catch (const nlohmann::json::exception& e) {
        error = e.what();
        return ReadResult::Unreadable;
    }
    return ReadResult::Ok;
}

void JsonFile::keepBeforeReplacing(const std::string& path) {
    const std::string kept = keptPath(path);
    if (FileSystem::current().copyFile(path, kept)) {
        log::logf(log::Warn, "Kept unreadable %s as %s", what_.c_str(), kept.c_str());
        return;
    }
    protected_ = true;
    log::logf(log::Error, "Could not keep unreadable %s as %s; %s is left as it is and not written during this run",
              what_.c_str(), kept.c_str(), path.c_str());
}

JsonFile::WriteResult JsonFile::write(const std::string& path, const nlohmann::json& doc) const {
    if (protected_) return WriteResult::Protected;
    const std::string text = fileText(doc);

    // Write a temporary file beside the real one, put it on the disk, then move
    // it over the real one: a crash or a full disk leaves the old file whole.
    FileSystem& fs = FileSystem::current();
    const std::string temp = tempPath(path);
    std::unique_ptr<FileSystem::File> file = fs.openWrite(temp);
    if (!file) return WriteResult::CannotOpen;
    bool ok = file->write(text) == static_cast<int64_t>(text.size());
    ok = ok && file->flush();
    ok = ok && file->commit();
    ok = file->close() && ok;
    file.reset();
    WriteResult result = WriteResult::Ok;
    if (!ok) {
        result = WriteResult::WriteFailed;
    } else if (!fs.moveFile(temp, path, FileSystem::kMoveReplaceExisting | FileSystem::kMoveWriteThrough)) {
        result = WriteResult::ReplaceFailed;
    }
    if (result != WriteResult::Ok) fs.removeFile(temp);
    return result;
}

} // namespace qv
