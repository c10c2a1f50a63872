#include "settings/Config.h"

#include "base/FileSystem.h"
#include "base/JsonFile.h"
#include "base/JsonNumbers.h"
#include "base/KnownFolders.h"
#include "base/Log.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <optional>
#include <vector>

namespace qv {

namespace {

using nlohmann::json;

// Reads the members the settings record knows, each with value-or-default
// semantics: a missing member leaves its field as it is; a member holding a
// value of another type (or a number that is not a whole number in range)
// sets the field to its default and is remembered, so the file can be kept
// before a save drops what the user wrote.
class Reader {
public:
    explicit Reader(const json& doc) : doc_(doc) {}

    void readInt(const char* key, int32_t& field, int32_t fallback) {
        const json* v = find(key);
        if (!v) return;
        if (std::optional<int32_t> n = jsonInt32(*v)) {
            field = *n;
            return;
        }
        field = fallback;
        drop(key, v->is_number() ? "expected a whole number from -2147483648 to 2147483647" : "expected a number");
    }

    void readBool(const char* key, bool& field, bool fallback) {
        const json* v = find(key);
        if (!v) return;
        if (v->is_boolean()) {
            field = v->get<bool>();
            return;
        }
        field = fallback;
        drop(key, "expected true or false");
    }

    void readString(const char* key, std::string& field, const std::string& fallback) {
        const json* v = find(key);
        if (!v) return;
        if (v->is_string()) {
            field = v->get<std::string>();
            return;
        }
        field = fallback;
        drop(key, "expected a string");
    }

    // The map is emptied first; members that are not strings are skipped.
    void readStringMap(const char* key, std::map<std::string, std::string>& field) {
        field.clear();
        const json* v = find(key);
        if (!v) return;
        if (!v->is_object()) return drop(key, "expected an object");
        for (const auto& [name, value] : v->items()) {
            if (value.is_string()) {
                field[name] = value.get<std::string>();
            } else {
                drop(std::string(key) + "." + name, "expected a string");
            }
        }
    }

    // "key: what was expected", one per value that was not taken.
    const std::vector<std::string>& dropped() const { return dropped_; }

private:
    const json* find(const char* key) const {
        auto it = doc_.find(key);
        return it == doc_.end() ? nullptr : &*it;
    }

    void drop(const std::string& key, const char* what) { dropped_.push_back(key + ": " + what); }

    const json& doc_;
    std::vector<std::string> dropped_;
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
    const std::string path = configPath();
    json doc;
    std::string error;
    switch (file_.read(path, doc, error)) {
    case JsonFile::ReadResult::Missing:
        log::logf(log::Info, "No config file yet; using defaults");
        return true;
    case JsonFile::ReadResult::CannotOpen:
        // The settings are there but out of reach (another program holds the
        // file, access denied): run on the defaults without losing them.
        log::logf(log::Error, "Cannot open config for read: %s (%s)", path.c_str(), error.c_str());
        file_.keepBeforeReplacing(path);
        return false;
    case JsonFile::ReadResult::Unreadable:
        break;
    case JsonFile::ReadResult::Ok:
        if (!doc.is_object()) error = "expected an object at the top level";
        break;
    }
    if (!error.empty()) {
        // Nothing of a document that does not parse is applied.
        log::logf(log::Error, "Config parse error: %s", error.c_str());
        file_.keepBeforeReplacing(path);
        return false;
    }

    const Config defaults;
    Reader r(doc);
    r.readInt("version", version, defaults.version);
    r.readBool("startWithWindows", startWithWindows, defaults.startWithWindows);
    r.readBool("preferElevated", preferElevated, defaults.preferElevated);
    r.readBool("autoRestoreOnHotplug", autoRestoreOnHotplug, defaults.autoRestoreOnHotplug);
    r.readBool("restoreWindowsOnReconnect", restoreWindowsOnReconnect, defaults.restoreWindowsOnReconnect);
    r.readInt("hotplugSettleMs", hotplugSettleMs, defaults.hotplugSettleMs);
    r.readInt("maxPreviews", maxPreviews, defaults.maxPreviews);
    r.readString("recordingDir", recordingDir, defaults.recordingDir);
    r.readInt("recordingFps", recordingFps, defaults.recordingFps);
    r.readBool("recordingAudio", recordingAudio, defaults.recordingAudio);
    r.readBool("autoCheckUpdates", autoCheckUpdates, defaults.autoCheckUpdates);
    r.readBool("autoInstallUpdates", autoInstallUpdates, defaults.autoInstallUpdates);
    r.readBool("monochromeIcon", monochromeIcon, defaults.monochromeIcon);
    r.readString("uiPanels", uiPanels, defaults.uiPanels);
    r.readBool("welcomeShown", welcomeShown, defaults.welcomeShown);
    r.readString("updateChannel", updateChannel, defaults.updateChannel);
    r.readString("updateBaseUrl", updateBaseUrl, defaults.updateBaseUrl);
    r.readString("lastAutoInstallVersion", lastAutoInstallVersion, defaults.lastAutoInstallVersion);
    r.readStringMap("hotkeys", hotkeys);
    r.readStringMap("displayNames", displayNames);
    maxPreviews = std::clamp(maxPreviews, 1, 8);
    recordingFps = std::clamp(recordingFps, 5, 60);
    hotplugSettleMs = std::clamp(hotplugSettleMs, 0, kMaxHotplugSettleMs);

    if (!r.dropped().empty()) {
        for (const std::string& what : r.dropped()) log::logf(log::Warn, "Config value ignored: %s", what.c_str());
        // The next save writes the defaults over these values: keep the file
        // as the user left it.
        file_.keepBeforeReplacing(path);
    }
    log::logf(log::Info, "Config loaded from %s", path.c_str());
    return true;
}

bool Config::save() const {
    json doc = json::object();
    doc["version"] = version;
    doc["startWithWindows"] = startWithWindows;
    doc["preferElevated"] = preferElevated;
    doc["autoRestoreOnHotplug"] = autoRestoreOnHotplug;
    doc["restoreWindowsOnReconnect"] = restoreWindowsOnReconnect;
    doc["hotplugSettleMs"] = hotplugSettleMs;
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
    doc["lastAutoInstallVersion"] = lastAutoInstallVersion;
    doc["hotkeys"] = json::object();
    for (const auto& [k, v] : hotkeys) doc["hotkeys"][k] = v;
    doc["displayNames"] = json::object();
    for (const auto& [k, v] : displayNames) doc["displayNames"][k] = v;

    const std::string path = configPath();
    switch (file_.write(path, doc)) {
    case JsonFile::WriteResult::Ok:
        log::logf(log::Info, "Config saved to %s", path.c_str());
        return true;
    case JsonFile::WriteResult::CannotOpen:
        log::logf(log::Error, "Cannot open config for write: %s", path.c_str());
        return false;
    case JsonFile::WriteResult::Protected:
        log::logf(log::Error, "Config not saved: %s could not be read at start and no copy of it could be made",
                  path.c_str());
        return false;
    case JsonFile::WriteResult::WriteFailed:
    case JsonFile::WriteResult::ReplaceFailed:
        break;
    }
    log::logf(log::Error, "Config write failed: %s", path.c_str());
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
