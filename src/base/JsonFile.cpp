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

JsonFile::JsonFile(std::string path, std::string what) : path_(std::move(path)), what_(std::move(what)) {}

JsonFile::ReadResult JsonFile::read(nlohmann::json& doc, std::string& error) const {
    std::string text;
    switch (FileSystem::current().readFile(path_, text)) {
    case FileSystem::ReadStatus::CannotOpen:
        return ReadResult::Missing;
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

void JsonFile::keepUnreadable() const {
    const std::string kept = keptPath();
    if (FileSystem::current().copyFile(path_, kept)) {
        log::logf(log::Warn, "Kept unreadable %s as %s", what_.c_str(), kept.c_str());
    } else {
        log::logf(log::Warn, "Could not keep unreadable %s as %s", what_.c_str(), kept.c_str());
    }
}

JsonFile::WriteResult JsonFile::write(const nlohmann::json& doc) const {
    const std::string text = fileText(doc);

    // Write a temporary file beside the real one, put it on the disk, then move
    // it over the real one: a crash or a full disk leaves the old file whole.
    FileSystem& fs = FileSystem::current();
    const std::string temp = tempPath();
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
    } else if (!fs.moveFile(temp, path_, FileSystem::kMoveReplaceExisting | FileSystem::kMoveWriteThrough)) {
        result = WriteResult::ReplaceFailed;
    }
    if (result != WriteResult::Ok) fs.removeFile(temp);
    return result;
}

} // namespace qv
