#pragma once
#include "actions/Action.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qv {

// One row of the tray icon's context menu. A separator has the separator
// flag, id 0 and no text.
struct TrayMenuItem {
    std::string text;
    std::uint32_t id = 0;
    std::uint32_t flags = 0; // AppendMenuW flags

    friend bool operator==(const TrayMenuItem&, const TrayMenuItem&) = default;
};

// The tray icon's context menu as data: its rows, built afresh each time the
// menu opens, and what each command id does.
class TrayMenu {
public:
    // WM_COMMAND ids of the rows.
    static constexpr std::uint32_t kInternalOnly = 1;
    static constexpr std::uint32_t kMirrorAll = 2;
    static constexpr std::uint32_t kExtend = 3;
    static constexpr std::uint32_t kExternalOnly = 4;
    static constexpr std::uint32_t kPushNative = 5;
    static constexpr std::uint32_t kPushMaximum = 6;
    static constexpr std::uint32_t kRefreshDisplays = 7;
    static constexpr std::uint32_t kRunElevated = 8;
    static constexpr std::uint32_t kStartWithWindows = 9;
    static constexpr std::uint32_t kCheckForUpdates = 10;
    static constexpr std::uint32_t kSettings = 11;
    static constexpr std::uint32_t kExit = 14;
    static constexpr std::uint32_t kRestoreWindows = 15;
    static constexpr std::uint32_t kRescueWindows = 16;

    // What a command id asks for.
    enum class Command {
        None,
        Dispatch,               // an action of `kind` through the bus
        RelaunchElevated,
        ToggleStartWithWindows,
        CheckForUpdates,
        OpenSettings,
        Exit,
    };
    struct CommandEntry {
        Command command = Command::None;
        ActionKind kind = ActionKind::None; // Dispatch only
        // Dispatch only: a success is shown as an information notice too.
        // For actions whose effect the user would otherwise not see.
        bool noticeOnSuccess = false;
    };

    // The rows, top to bottom. "Run elevated…" is there only when the process
    // is not elevated; "Start with Windows" carries a check mark when the
    // program starts with Windows; the disabled version row reads
    // "Quorvane v" + version.
    static std::vector<TrayMenuItem> items(bool elevated, bool startsWithWindows, const std::string& version);

    // The command behind an id; Command::None for an id the menu does not have.
    static CommandEntry command(std::uint32_t id);
};

} // namespace qv
