#pragma once
#include <nlohmann/json_fwd.hpp>

#include <string>

namespace qv {

// One JSON document kept whole in one file of the settings folder, read and
// written through FileSystem::current(). The owner (the settings, the layout
// store) keeps one for the whole run: it decides what a document must look
// like and what to log about it; this class reads and parses, keeps a copy of
// a file whose contents could not all be used, and replaces the file safely.
//
// A file is never written over while it holds something the program could
// not use, unless a copy of it was made first ("<file>.bad"); when no copy
// can be made, the file is left alone for the rest of the run.
class JsonFile {
public:
    enum class ReadResult {
        Missing,    // there is no such file yet
        Ok,         // doc holds the parsed document
        CannotOpen, // the file exists but cannot be opened; error says why
        Unreadable, // error holds why: the read failed, or the parser's message
    };

    enum class WriteResult {
        Ok,
        CannotOpen,    // the temporary file could not be created
        WriteFailed,   // writing, flushing or closing the temporary file failed
        ReplaceFailed, // the temporary file could not be moved over the file
        Protected,     // the file could not be used nor copied at load: left alone this run
    };

    // what: how the log lines name the contents ("config", "layouts").
    explicit JsonFile(std::string what);

    static std::string keptPath(const std::string& path) { return path + ".bad"; }
    static std::string tempPath(const std::string& path) { return path + ".tmp"; }

    ReadResult read(const std::string& path, nlohmann::json& doc, std::string& error) const;

    // The file holds something that the next save would lose: copies it to
    // keptPath() (replacing an older copy) and logs a warning. When the copy
    // cannot be made, logs why and protects the file: write() leaves it alone
    // for the rest of the run.
    void keepBeforeReplacing(const std::string& path);

    bool isProtected() const { return protected_; }

    // Writes the document indented by two spaces, members in name order, with a
    // line feed at the end and the platform's text line ends, to tempPath(); puts
    // it on the disk and moves it over path. On failure the temporary file is
    // removed and the previous file is left whole. Logs nothing.
    WriteResult write(const std::string& path, const nlohmann::json& doc) const;

private:
    std::string what_;
    bool protected_ = false;
};

} // namespace qv
