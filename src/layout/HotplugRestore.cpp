#include "layout/HotplugRestore.h"

#include "base/ActionResult.h"
#include "settings/Config.h"
#include "base/Log.h"
#include "base/TickSource.h"
#include "display/DisplayManager.h"
#include "layout/LayoutStore.h"

#include <algorithm>
#include <optional>

namespace qv {

HotplugRestore::HotplugRestore(DisplayManager& displays, const LayoutStore& layouts, const Config& config,
                               TickSource& ticks)
    : displays_(displays), layouts_(layouts), config_(config), ticks_(ticks) {}

void HotplugRestore::prime() {
    std::optional<std::vector<std::string>> keys = connectedKeys();
    if (keys) recordKnown(std::move(*keys));
}

void HotplugRestore::recordKnown(std::vector<std::string> keys) {
    std::sort(keys.begin(), keys.end());
    known_ = std::move(keys);
    knownValid_ = true;
}

std::optional<std::vector<std::string>> HotplugRestore::connectedKeys() {
    std::optional<std::vector<DisplayInfo>> displays = displays_.tryEnumerate();
    if (!displays) return std::nullopt;
    std::vector<std::string> keys;
    for (const DisplayInfo& info : *displays) keys.push_back(info.key);
    std::sort(keys.begin(), keys.end());
    return keys;
}

uint32_t HotplugRestore::settleMs() const {
    return static_cast<uint32_t>(std::clamp(config_.hotplugSettleMs, 0, Config::kMaxHotplugSettleMs));
}

uint32_t HotplugRestore::onDisplayChange() {
    std::optional<std::vector<std::string>> keys = connectedKeys();
    if (!keys) {
        // A failed query says nothing about the monitors: the set known
        // before stays, so the next change with those monitors is no change.
        log::logf(log::Warn, "Hotplug check skipped: the displays could not be queried");
        return settling_ ? settleMs() : 0;
    }
    if (!knownValid_) {
        // Without a set known before (the query failed at start), there is no
        // change to speak of: the set is only recorded.
        recordKnown(std::move(*keys));
        if (listener_) listener_->displaysSettled();
        return 0;
    }
    // Same monitors and nothing settling: a change of mode, orientation or
    // position, or the echo of a restore in progress.
    if (!settling_ && *keys == known_) {
        if (listener_) listener_->displaysSettled();
        return 0;
    }
    if (listener_) listener_->displaysChanging(*keys);
    if (settleMs() == 0) {
        settling_ = false;
        settle(std::move(*keys));
        return 0;
    }
    // Each change starts the settle time again.
    settling_ = true;
    lastSeen_ = std::move(*keys);
    changedAt_ = ticks_.milliseconds();
    return settleMs();
}

uint32_t HotplugRestore::onSettleTimer() {
    if (!settling_) return 0;
    const uint64_t now = ticks_.milliseconds();
    const uint64_t wanted = settleMs();
    if (now - changedAt_ < wanted) return static_cast<uint32_t>(wanted - (now - changedAt_));
    std::optional<std::vector<std::string>> keys = connectedKeys();
    if (!keys) return static_cast<uint32_t>(wanted);
    if (*keys != lastSeen_) {
        // The set changed again without a WM_DISPLAYCHANGE reaching us.
        if (listener_) listener_->displaysChanging(*keys);
        lastSeen_ = std::move(*keys);
        changedAt_ = now;
        return static_cast<uint32_t>(wanted);
    }
    settling_ = false;
    settle(std::move(*keys));
    return 0;
}

void HotplugRestore::settle(std::vector<std::string> keys) {
    // A monitor that went and came back while the change settled is no change.
    if (keys != known_) {
        // Recorded whatever follows, so a change that is not restored is not
        // looked at again.
        recordKnown(std::move(keys));
        restoreLayout();
    }
    if (listener_) listener_->displaysSettled();
}

void HotplugRestore::restoreLayout() {
    if (!config_.autoRestoreOnHotplug) return;
    const uint64_t now = ticks_.milliseconds();
    if (restoredBefore_ && now - lastAutoRestore_ < kGuardMs) return;
    std::optional<Layout> layout = layouts_.findForKeys(known_);
    if (!layout) return;

    lastAutoRestore_ = now;
    restoredBefore_ = true;
    ActionResult result = displays_.applyArrangement(layout->placements);
    if (result.ok && result.message == DisplayManager::ArrangementInEffect) {
        log::logf(log::Info, "Auto-restore: the matching layout is already in effect");
    } else if (result.ok) {
        log::logf(log::Info, "Auto-restored layout for connected monitor set");
    } else {
        log::write(log::Warn, "Auto-restore failed: " + result.message);
    }
}

} // namespace qv
