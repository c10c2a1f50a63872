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

void HotplugRestore::prime() { known_ = connectedKeys(); }

void HotplugRestore::recordKnown(std::vector<std::string> keys) {
    std::sort(keys.begin(), keys.end());
    known_ = std::move(keys);
}

std::vector<std::string> HotplugRestore::connectedKeys() {
    std::vector<std::string> keys;
    for (const DisplayInfo& info : displays_.enumerate()) keys.push_back(info.key);
    std::sort(keys.begin(), keys.end());
    return keys;
}

void HotplugRestore::onDisplayChange() {
    std::vector<std::string> keys = connectedKeys();
    // Same monitors: a change of mode, orientation or position, or the echo of
    // a restore in progress.
    if (keys == known_) return;
    // Recorded whatever follows, so a change that is not restored is not
    // looked at again.
    known_ = std::move(keys);

    if (!config_.autoRestoreOnHotplug) return;
    const uint64_t now = ticks_.milliseconds();
    if (restoredBefore_ && now - lastAutoRestore_ < kGuardMs) return;
    std::optional<Layout> layout = layouts_.findForKeys(known_);
    if (!layout) return;

    lastAutoRestore_ = now;
    restoredBefore_ = true;
    ActionResult result = displays_.applyArrangement(layout->placements);
    if (result.ok) {
        log::logf(log::Info, "Auto-restored layout for connected monitor set");
    } else {
        log::write(log::Warn, "Auto-restore failed: " + result.message);
    }
}

} // namespace qv
