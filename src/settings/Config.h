#pragma once
#include "base/JsonFile.h"

#include <cstdint>
#include <map>
#include <string>

namespace qv {

// Settings folder (created on every call) and the settings file inside it.
std::string configDir();
std::string configPath();

// The program's settings record, stored as config.json in the settings folder.
struct Config {
    int32_t version = 1;
    bool startWithWindows = false;
    bool preferElevated = false;
    bool autoRestoreOnHotplug = true;
    // Put application windows back on a display that comes back after it
    // went away (sleep, undocking, a KVM switch).
    bool restoreWindowsOnReconnect = true;
    // A change of the connected displays is acted on (layout and window
    // restore) only once the set has stayed the same this long; 0..60000.
    int32_t hotplugSettleMs = 3000;
    int32_t maxPreviews = 4;
    std::string recordingDir;
    int32_t recordingFps = 30;
    bool recordingAudio = true;
    bool autoCheckUpdates = true;
    bool autoInstallUpdates = true;
    bool monochromeIcon = false;
    std::string uiPanels;
    bool welcomeShown = false;
    std::string updateChannel = "stable";
    std::string updateBaseUrl = kDefaultUpdateBaseUrl;
    // The version the automatic update last installed: never installed
    // automatically again, so a download that turns out not to be that
    // version cannot restart the program over and over.
    std::string lastAutoInstallVersion;
    std::map<std::string, std::string> hotkeys;
    std::map<std::string, std::string> displayNames;

    static constexpr int32_t kMaxHotplugSettleMs = 60000;
    static constexpr const char* kDefaultUpdateBaseUrl = "https://updates.quorvane.app/quorvane";

    // Reads config.json over the current values, each member with
    // value-or-default semantics: a missing member keeps its field, a member
    // of the wrong type takes its default (a whole-number float such as 2.0 is
    // a number). True when the file is missing or was read. A file that does
    // not parse, or whose top level is not an object, changes nothing and
    // yields false. Whenever the file holds something the next save would
    // drop (or cannot be opened at all), it is copied to config.json.bad
    // first; when no copy can be made, save() leaves it alone for this run.
    bool load();
    // Writes the whole record to config.json.tmp, puts it on the disk and moves it
    // over config.json, so a failure leaves the previous file whole.
    bool save() const;
    // A non-empty name sets the display's entry; an empty one removes it.
    void setDisplayName(const std::string& key, const std::string& name);

private:
    JsonFile file_{"config"};
};

} // namespace qv
