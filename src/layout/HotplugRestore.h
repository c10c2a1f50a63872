#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qv {

class DisplayManager;
class LayoutStore;
class TickSource;
struct Config;

// Restores the matching saved layout when the set of connected monitors
// changes. Owned by the tray controller and driven by its WM_DISPLAYCHANGE;
// runs on the user-interface thread. The arrangement is applied synchronously,
// and the display changes it causes (also ones delivered re-entrantly while it
// is applied) find the new set already recorded and do nothing.
class HotplugRestore {
public:
    // A burst of hotplug changes within this time after an automatic restore
    // is recorded but not restored.
    static constexpr uint64_t kGuardMs = 3000;

    HotplugRestore(DisplayManager& displays, const LayoutStore& layouts, const Config& config, TickSource& ticks);

    // Records the connected set from a fresh enumeration without restoring
    // anything: the starting point when the controller is created. When the
    // query fails, the first set seen later is recorded without restoring.
    void prime();
    // The same from keys the caller has already enumerated (in any order).
    void recordKnown(std::vector<std::string> keys);

    // Every WM_DISPLAYCHANGE: enumerates; when the monitor set differs from
    // the known one, records it and, if the setting is on, the guard has
    // passed and a saved layout holds exactly these monitors, applies it.
    void onDisplayChange();

    // The keys of the last enumeration seen, sorted in byte order.
    const std::vector<std::string>& knownKeys() const { return known_; }
    // Tick count of the last automatic restore; 0 before the first.
    uint64_t lastAutoRestore() const { return lastAutoRestore_; }

private:
    // Nothing when the display query failed.
    std::optional<std::vector<std::string>> connectedKeys();

    DisplayManager& displays_;
    const LayoutStore& layouts_;
    const Config& config_;
    TickSource& ticks_;
    std::vector<std::string> known_;
    bool knownValid_ = false; // false until one query has succeeded
    uint64_t lastAutoRestore_ = 0;
    bool restoredBefore_ = false;
};

} // namespace qv
