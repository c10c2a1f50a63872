#pragma once
#include <functional>

namespace qv {

// The five things both settings windows (the web page and the classic one)
// can ask the tray controller for.
struct SettingsCallbacks {
    std::function<void()> checkForUpdates;
    std::function<void()> refreshTrayIcon;
    std::function<void()> openArrangement;
    std::function<void()> chooseRecordingsFolder;
    std::function<void()> openRecordingsFolder;
};

} // namespace qv
