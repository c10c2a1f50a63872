#include "ui/TrayMenu.h"

#include "ui/TrayShellApi.h"

namespace qv {

std::vector<TrayMenuItem> TrayMenu::items(bool elevated, bool startsWithWindows, const std::string& version) {
    using Shell = TrayShellApi;
    const TrayMenuItem separator{"", 0, Shell::kMfSeparator};
    std::vector<TrayMenuItem> rows = {
        {"Internal only", kInternalOnly, Shell::kMfString},
        {"Mirror all", kMirrorAll, Shell::kMfString},
        {"Extend", kExtend, Shell::kMfString},
        {"External only", kExternalOnly, Shell::kMfString},
        separator,
        {"Push native resolutions", kPushNative, Shell::kMfString},
        {"Push maximum resolutions", kPushMaximum, Shell::kMfString},
        {"Refresh displays", kRefreshDisplays, Shell::kMfString},
        {"Put windows back", kRestoreWindows, Shell::kMfString},
        {"Rescue off-screen windows", kRescueWindows, Shell::kMfString},
        separator,
    };
    if (!elevated) rows.push_back({"Run elevated\u2026", kRunElevated, Shell::kMfString});
    rows.push_back({"Start with Windows", kStartWithWindows, startsWithWindows ? Shell::kMfChecked : Shell::kMfString});
    rows.push_back({"Check for updates\u2026", kCheckForUpdates, Shell::kMfString});
    rows.push_back({"Settings\u2026", kSettings, Shell::kMfString});
    rows.push_back(separator);
    rows.push_back({"Quorvane v" + version, 0, Shell::kMfDisabled | Shell::kMfGrayed});
    rows.push_back({"Exit", kExit, Shell::kMfString});
    return rows;
}

TrayMenu::CommandEntry TrayMenu::command(std::uint32_t id) {
    switch (id) {
    case kInternalOnly: return {Command::Dispatch, ActionKind::ProjectionInternal};
    case kMirrorAll: return {Command::Dispatch, ActionKind::ProjectionClone};
    case kExtend: return {Command::Dispatch, ActionKind::ProjectionExtend};
    case kExternalOnly: return {Command::Dispatch, ActionKind::ProjectionExternal};
    case kPushNative: return {Command::Dispatch, ActionKind::PushNativeResolutions};
    case kPushMaximum: return {Command::Dispatch, ActionKind::PushMaxResolutions};
    case kRefreshDisplays: return {Command::Dispatch, ActionKind::RefreshDisplays};
    case kRestoreWindows: return {Command::Dispatch, ActionKind::RestoreWindows, true};
    case kRescueWindows: return {Command::Dispatch, ActionKind::RescueWindows, true};
    case kRunElevated: return {Command::RelaunchElevated, ActionKind::None};
    case kStartWithWindows: return {Command::ToggleStartWithWindows, ActionKind::None};
    case kCheckForUpdates: return {Command::CheckForUpdates, ActionKind::None};
    case kSettings: return {Command::OpenSettings, ActionKind::None};
    case kExit: return {Command::Exit, ActionKind::None};
    default: return {};
    }
}

} // namespace qv
