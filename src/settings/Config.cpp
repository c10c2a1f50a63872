#include "settings/Config.h"

#include "base/FileSystem.h"
#include "base/JsonFile.h"
#include "base/KnownFolders.h"
#include "base/Log.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <limits>
#include <optional>

namespace qv {

namespace {

using nlohmann::json;

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
    const JsonFile file(configPath(), "config");
    json doc;
    std::optional<std::string> error;
    std::string readError;
    switch (file.read(doc, readError)) {
    case JsonFile::ReadResult::Missing:
        log::logf(log::Info, "No config file yet; using defaults");
        return true;
    case JsonFile::ReadResult::Unreadable:
        error = readError;
        break;
    case JsonFile::ReadResult::Ok:
        break;
    }

    Config next = *this;
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

    if (error) {
        // Nothing of a half-read document is applied.
        log::logf(log::Error, "Config parse error: %s", error->c_str());
        file.keepUnreadable();
        return false;
    }

    next.maxPreviews = std::clamp(next.maxPreviews, 1, 8);
    next.recordingFps = std::clamp(next.recordingFps, 5, 60);
    *this = std::move(next);
    log::logf(log::Info, "Config loaded from %s", file.path().c_str());
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

    const JsonFile file(configPath(), "config");
    switch (file.write(doc)) {
    case JsonFile::WriteResult::Ok:
        log::logf(log::Info, "Config saved to %s", file.path().c_str());
        return true;
    case JsonFile::WriteResult::CannotOpen:
        log::logf(log::Error, "Cannot open config for write: %s", file.path().c_str());
        return false;
    case JsonFile::WriteResult::WriteFailed:
    case JsonFile::WriteResult::ReplaceFailed:
        break;
    }
    log::logf(log::Error, "Config write failed: %s", file.path().c_str());
    return false;
}

void Config::setDisplayName(const std::string& key, const std::string& name) {
    if (name.empty()) {
        displayNames.erase(key);
    } else {
        displayNames[key] = name;
    }
}

} // namespace qv
