#pragma once
#include <nlohmann/json_fwd.hpp>

#include <string>

namespace qv {

// One JSON document kept whole in one file of the settings folder, read and
// written through FileSystem::current(). The callers decide what a document
// must look like and what to log about it; this class reads, parses, keeps a
// copy of a file that cannot be used, and replaces the file safely.
class JsonFile {
public:
    enum class ReadResult {
        Missing,    // the file cannot be opened (normally: it does not exist yet)
        Ok,         // doc holds the parsed document
        Unreadable, // error holds why: the read failed, or the parser's message
    };

    enum class WriteResult {
        Ok,
        CannotOpen,    // the temporary file could not be created
        WriteFailed,   // writing, flushing or closing the temporary file failed
        ReplaceFailed, // the temporary file could not be moved over the file
    };

    // what: how the log lines name the contents ("config", "layouts").
    JsonFile(std::string path, std::string what);

    const std::string& path() const { return path_; }
    std::string keptPath() const { return path_ + ".bad"; }
    std::string tempPath() const { return path_ + ".tmp"; }

    ReadResult read(nlohmann::json& doc, std::string& error) const;

    // A file that cannot be used would be overwritten by the next save: copies it
    // to keptPath() (replacing an older copy) and logs a warning either way.
    void keepUnreadable() const;

    // Writes the document indented by two spaces, members in name order, with a
    // line feed at the end and the platform's text line ends, to tempPath(); puts
    // it on the disk and moves it over path(). On failure the temporary file is
    // removed and the previous file is left whole. Logs nothing.
    WriteResult write(const nlohmann::json& doc) const;

private:
    std::string path_;
    std::string what_;
};

} // namespace qv
