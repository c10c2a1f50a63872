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

// Told when the connected displays start to change and when they have settled.
class DisplayChangeListener {
public:
    virtual ~DisplayChangeListener() = default;
    // A display change arrived that is not settled yet; these are connected now.
    virtual void displaysChanging(const std::vector<std::string>& connectedKeys) = 0;
    // The displays have settled (after any layout restore), or changed only
    // in mode or position.
    virtual void displaysSettled() = 0;
};

// Restores the matching saved layout when the set of connected monitors
// changes. Owned by the tray controller and driven by its WM_DISPLAYCHANGE
// and its settle timer; runs on the user-interface thread.
//
// A change is acted on only once the set of connected monitors has stayed
// the same for Config::hotplugSettleMs: a monitor that drops out for a moment
// while it sleeps, or monitors that wake one after another, are one change,
// looked at once they have settled. The arrangement is applied synchronously,
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
    // the known one (or a change is still settling), the change waits for the
    // settle time. Returns the milliseconds after which onSettleTimer() is to
    // be called, or 0 when no call is wanted (any timer set before can go).
    // With a settle time of 0 the change is acted on at once.
    uint32_t onDisplayChange();
    // The settle timer: once the set has stayed the same for the settle time,
    // records it and, if the setting is on, the guard has passed and a saved
    // layout holds exactly these monitors, applies it; then tells the
    // listener. Returns as onDisplayChange() does.
    uint32_t onSettleTimer();
    // Told about changes and settles; may be null.
    void setListener(DisplayChangeListener* listener) { listener_ = listener; }
    // True while a change waits for the displays to settle.
    bool settling() const { return settling_; }

    // The keys of the last enumeration seen, sorted in byte order.
    const std::vector<std::string>& knownKeys() const { return known_; }
    // Tick count of the last automatic restore; 0 before the first.
    uint64_t lastAutoRestore() const { return lastAutoRestore_; }

private:
    // Nothing when the display query failed.
    std::optional<std::vector<std::string>> connectedKeys();
    uint32_t settleMs() const;
    void settle(std::vector<std::string> keys);
    void restoreLayout();

    DisplayManager& displays_;
    const LayoutStore& layouts_;
    const Config& config_;
    TickSource& ticks_;
    std::vector<std::string> known_;
    bool knownValid_ = false; // false until one query has succeeded
    uint64_t lastAutoRestore_ = 0;
    bool restoredBefore_ = false;
    DisplayChangeListener* listener_ = nullptr;
    bool settling_ = false;
    std::vector<std::string> lastSeen_;  // the set at the last change while settling
    uint64_t changedAt_ = 0;             // tick count of that change
};

} // namespace qv
