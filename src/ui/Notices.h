#pragma once
#include "base/Elevation.h"
#include "hotkeys/HotkeyBindings.h"
#include "ui/TrayShellApi.h"

#include <cstddef>
#include <string>
#include <vector>

namespace qv {

// The balloon notices through which the program reports results and
// failures: their texts, their two kinds and how a notice is put into the
// tray icon record.
class Notices {
public:
    static constexpr const char* kTitle = "Quorvane";
    static constexpr const char* kRunning = "Running in the tray.";
    static constexpr const char* kHotkeysInUse = "Some hotkeys are already in use: ";
    static constexpr const char* kWillStartWithWindows = "Will start with Windows.";
    static constexpr const char* kWillNotStartWithWindows = "Will no longer start with Windows.";
    static constexpr const char* kStartupSettingFailed = Elevation::kStartupSettingFailed;

    // What a notice can show, in UTF-16 code units (the buffers less their terminator).
    static constexpr std::size_t kTitleUnits = TrayShellApi::kInfoTitleBuffer - 1;
    static constexpr std::size_t kTextUnits = TrayShellApi::kInfoBuffer - 1;
    static constexpr std::size_t kTipUnits = TrayShellApi::kTipBuffer - 1;

    // The longest leading part of the UTF-8 text that takes at most maxUnits
    // UTF-16 code units. A character outside the basic plane takes two units
    // and is kept or dropped whole. A byte that is not valid UTF-8 counts as
    // one unit, as the replacement character it becomes.
    static std::string cutToUtf16(const std::string& text, std::size_t maxUnits);

    // The record that shows a notice: a copy of the icon record with only
    // NIF_INFO set (so icon, tip and callback stay as they are), the kind and
    // the cut title and text.
    static NotifyIconData balloon(const NotifyIconData& icon, const std::string& title, const std::string& text,
                                  bool error);

    // "Some hotkeys are already in use: " and the chords joined with ", ".
    static std::string hotkeyConflicts(const std::vector<HotkeyConflict>& conflicts);
};

} // namespace qv
