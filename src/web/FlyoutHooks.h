#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qv {

// One selectable playback or recording device of the flyout.
struct AudioChoice {
    std::string id;   // endpoint id
    std::string name; // endpoint name
    bool isDefault = false;
};

// The callbacks from the web flyout to the tray controller: previews,
// recordings, NDI shares, audio and folders, which are controller operations
// rather than actions. The flyout calls a member only when it is set; members
// whose subsystem is not built stay unset and the page gets nothing for them.
// The flyout panel knows this table as its Hooks.
struct FlyoutHooks {
    // A level sample of the default playback or capture endpoint; all zero
    // and ok false when nothing could be read.
    struct Level {
        bool ok = false;
        float volume = 0; // master volume, 0 to 1
        bool muted = false;
        float peak = 0;   // current peak meter value, 0 to 1
    };

    std::function<bool()> welcomePending;
    std::function<void()> welcomeDone;
    std::function<std::vector<AudioChoice>(bool capture)> listAudio;
    std::function<void(const std::string& id, bool capture)> setDefaultAudio;
    std::function<std::string()> foregroundApp;
    std::function<uint64_t()> foregroundWindow;
    std::function<void()> resetAppAudio;
    std::function<Level(bool capture)> audioLevel;
    std::function<void(float volume, bool capture)> setVolume;
    std::function<void(bool mute, bool capture)> setMute;
    std::function<void(const std::string& key)> togglePreview;
    std::function<void(const std::string& key)> toggleRecording;
    std::function<void(const std::string& key)> toggleRegionRecording;
    std::function<void(const std::string& key)> toggleNdi;
    std::function<void(const std::string& key)> toggleRegionNdi;
    std::function<bool(const std::string& key)> previewOpen;
    std::function<bool(const std::string& key)> recordingActive;
    std::function<bool(const std::string& key)> ndiActive;
    std::function<void()> openSettings;
    std::function<void()> openArrangement;
    std::function<void()> openRecordings;
};

} // namespace qv
