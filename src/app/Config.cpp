#include "app/Config.h"

#include "app/FileSystem.h"
#include "app/KnownFolders.h"
#include "app/Log.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <limits>
#include <optional>

namespace qv {

namespace {

using nlohmann::json;

// config.json is a text file: on Windows its lines end in CR LF.
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

// Reads the members the settings record knows into `into`, leaving fields whose
// key is missing untouched. Returns an error text naming the offending key when
// the document has another shape than the settings record.
class Reader {
public:
    explicit Reader(const json& doc) : doc_(doc) {}

    void readInt(const char* key, int32_t& field) {
        const json* v = find(key);
        if (!v) return;
        if (!v->is_number()) return fail(key, "expected a number");
        bool inRange = false;
        if (v->is_number_unsigned()) {
            inRange = v->get<uint64_t>() <= static_cast<uint64_t>(std::numeric_limits<int32_t>::max());
        } else if (v->is_number_integer()) {
            int64_t n = v->get<int64_t>();
            inRange = n >= std::numeric_limits<int32_t>::min() && n <= std::numeric_limits<int32_t>::max();
        }
        if (!inRange) return fail(key, "expected a whole number from -2147483648 to 2147483647");
        field = static_cast<int32_t>(v->get<int64_t>());
    }

    void readBool(const char* key, bool& field) {
        const json* v = find(key);
        if (!v) return;
        if (!v->is_boolean()) return fail(key, "expected true or false");
        field = v->get<bool>();
    }

    void readString(const char* key, std::string& field) {
        const json* v = find(key);
        if (!v) return;
        if (!v->is_string()) return fail(key, "expected a string");
        field = v->get<std::string>();
    }

    // The map is emptied first; members that are not strings are skipped.
    void readStringMap(const char* key, std::map<std::string, std::string>& field) {
        field.clear();
        const json* v = find(key);
        if (!v) return;
        if (!v->is_object()) return fail(key, "expected an object");
        for (const auto& [name, value] : v->items()) {
            if (value.is_string()) field[name] = value.get<std::string>();
        }
    }

    const std::optional<std::string>& error() const { return error_; }

private:
    const json* find(const char* key) const {
        auto it = doc_.find(key);
        return it == doc_.end() ? nullptr : &*it;
    }

    void fail(const char* key, const char* what) {
        if (!error_) error_ = std::string(key) + ": " + what;
    }

    const json& doc_;
    std::optional<std::string> error_;
};

// A file that cannot be read as settings would be overwritten with the defaults
// by the next save; keep a copy beside it so the user's values are not lost.
void keepUnreadable(const std::string& path) {
    std::string kept = path + ".bad";
    if (FileSystem::current().copyFile(path, kept)) {
        log::logf(log::Warn, "Kept unreadable config as %s", kept.c_str());
    } else {
        log::logf(log::Warn, "Could not keep unreadable config as %s", kept.c_str());
    }
}

} // namespace

std::string configDir() {
    std::string dir = KnownFolders::current().path(KnownFolder::RoamingAppData);
    if (dir.empty()) dir.push_back('.'); // unresolved: the current directory
    dir += "\\Quorvane";
    FileSystem::current().createFolderChain(dir);
    return dir;
}

std::string configPath() { return configDir() + "\\config.json"; }

bool Config::load() {
    const std::string path = configPath();
    std::string text;
    std::optional<std::string> error;
    switch (FileSystem::current().readFile(path, text)) {
    case FileSystem::ReadStatus::CannotOpen:
        log::logf(log::Info, "No config file yet; using defaults");
        return true;
    case FileSystem::ReadStatus::Failed:
        error = "the file could not be read";
        break;
    case FileSystem::ReadStatus::Ok:
        break;
    }

    Config next = *this;
    if (!error) {
        json doc;
        try {
            doc = json::parse(text);
        } catch (const json::exception& e) {
            error = e.what();
        }
        if (!error && !doc.is_object()) error = "expected an object at the top level";
        if (!error) {
            Reader r(doc);
            r.readInt("version", next.version);
            r.readBool("startWithWindows", next.startWithWindows);
            r.readBool("preferElevated", next.preferElevated);
            r.readBool("autoRestoreOnHotplug", next.autoRestoreOnHotplug);
            r.readInt("maxPreviews", next.maxPreviews);
            r.readString("recordingDir", next.recordingDir);
            r.readInt("recordingFps", next.recordingFps);
            r.readBool("recordingAudio", next.recordingAudio);
            r.readBool("autoCheckUpdates", next.autoCheckUpdates);
            r.readBool("autoInstallUpdates", next.autoInstallUpdates);
            r.readBool("monochromeIcon", next.monochromeIcon);
            r.readString("uiPanels", next.uiPanels);
            r.readBool("welcomeShown", next.welcomeShown);
            r.readString("updateChannel", next.updateChannel);
            r.readString("updateBaseUrl", next.updateBaseUrl);
            r.readStringMap("hotkeys", next.hotkeys);
            r.readStringMap("displayNames", next.displayNames);
            error = r.error();
        }
    }

    if (error) {
        // Nothing of a half-read document is applied.
        log::logf(log::Error, "Config parse error: %s", error->c_str());
        keepUnreadable(path);
        return false;
    }

    next.maxPreviews = std::clamp(next.maxPreviews, 1, 8);
    next.recordingFps = std::clamp(next.recordingFps, 5, 60);
    *this = std::move(next);
    log::logf(log::Info, "Config loaded from %s", path.c_str());
    return true;
}

bool Config::save() const {
    json doc = json::object();
    doc["version"] = version;
    doc["startWithWindows"] = startWithWindows;
    doc["preferElevated"] = preferElevated;
    doc["autoRestoreOnHotplug"] = autoRestoreOnHotplug;
    doc["maxPreviews"] = maxPreviews;
    doc["recordingDir"] = recordingDir;
    doc["recordingFps"] = recordingFps;
    doc["recordingAudio"] = recordingAudio;
    doc["autoCheckUpdates"] = autoCheckUpdates;
    doc["autoInstallUpdates"] = autoInstallUpdates;
    doc["monochromeIcon"] = monochromeIcon;
    doc["uiPanels"] = uiPanels;
    doc["welcomeShown"] = welcomeShown;
    doc["updateChannel"] = updateChannel;
    doc["updateBaseUrl"] = updateBaseUrl;
    doc["hotkeys"] = json::object();
    for (const auto& [k, v] : hotkeys) doc["hotkeys"][k] = v;
    doc["displayNames"] = json::object();
    for (const auto& [k, v] : displayNames) doc["displayNames"][k] = v;

    // Members come out sorted by name (the object is an ordered map). Invalid
    // UTF-8 is replaced rather than thrown over, so a save always yields valid JSON.
    const std::string text =
        toTextLineEnds(doc.dump(2, ' ', false, json::error_handler_t::replace) + "\n");

    // Write a temporary file beside config.json, put it on the disk, then move
    // it over config.json: a crash or a full disk leaves the old file whole.
    FileSystem& fs = FileSystem::current();
    const std::string path = configPath();
    const std::string temp = path + ".tmp";
    std::unique_ptr<FileSystem::File> file = fs.openWrite(temp);
    if (!file) {
        log::logf(log::Error, "Cannot open config for write: %s", path.c_str());
        return false;
    }
    bool ok = file->write(text) == static_cast<int64_t>(text.size());
    ok = ok && file->flush();
    ok = ok && file->commit();
    ok = file->close() && ok;
    file.reset();
    ok = ok && fs.moveFile(temp, path, FileSystem::kMoveReplaceExisting | FileSystem::kMoveWriteThrough);
    if (!ok) {
        fs.removeFile(temp);
        log::logf(log::Error, "Config write failed: %s", path.c_str());
        return false;
    }
    log::logf(log::Info, "Config saved to %s", path.c_str());
    return true;
}

void Config::setDisplayName(const std::string& key, const std::string& name) {
    if (name.empty()) {
        displayNames.erase(key);
    } else {
        displayNames[key] = name;
    }
}

} // namespace qv
