#include "display/ResolutionPush.h"

#include "base/Log.h"
#include "base/StrPrintf.h"
#include "display/DisplayManager.h"

namespace qv {

namespace {

constexpr const char* SomeFailed = "; some failed (see log)";

uint64_t pixels(const DisplayMode& mode) { return uint64_t(mode.width) * uint64_t(mode.height); }

ActionResult summary(int applied, std::string message) {
    return applied > 0 ? ActionResult::success(std::move(message)) : ActionResult::failure(std::move(message));
}

} // namespace

ResolutionPush::ResolutionPush(DisplayManager& manager) : manager_(manager) {}

ActionResult ResolutionPush::pushMaxModes() {
    const std::vector<DisplayInfo> displays = manager_.enumerate();
    if (displays.empty())
        return ActionResult::failure("No active displays");

    int applied = 0;
    int failed = 0;
    for (const DisplayInfo& display : displays) {
        // Most pixels; among equal pixel counts (any shape) the highest rate;
        // among full ties the earliest listed.
        DisplayMode best;
        for (const DisplayMode& mode : manager_.modes(display.key)) {
            if (pixels(mode) > pixels(best) || (pixels(mode) == pixels(best) && mode.refreshHz > best.refreshHz))
                best = mode;
        }
        if (best.width == 0) {
            log::logf(log::Warn, "push-max: %s has no enumerable modes", display.key.c_str());
            ++failed;
            continue;
        }
        const ActionResult result = manager_.setMode(display.key, best.width, best.height, best.refreshHz);
        if (result.ok) {
            ++applied;
        } else {
            log::logf(log::Warn, "push-max: %s", result.message.c_str());
            ++failed;
        }
    }
    return summary(applied,
                   strprintf("Maximum modes applied to %d display(s)%s", applied, failed > 0 ? SomeFailed : ""));
}

ActionResult ResolutionPush::pushNativeModes() {
    const std::vector<DisplayInfo> displays = manager_.enumerate();
    if (displays.empty())
        return ActionResult::failure("No active displays");

    int applied = 0;
    int failed = 0;
    bool usedFallback = false;
    for (const DisplayInfo& display : displays) {
        DisplayMode target;
        if (display.preferred.valid) {
            // A rate of 0 keeps the current rate.
            target = {display.preferred.width, display.preferred.height, display.preferred.refreshHz};
        } else {
            // Most pixels; a higher rate wins only at exactly the same size.
            DisplayMode best;
            bool found = false;
            for (const DisplayMode& mode : manager_.modes(display.key)) {
                const bool sameSize = mode.width == best.width && mode.height == best.height;
                if (pixels(mode) > pixels(best) || (sameSize && mode.refreshHz > best.refreshHz)) {
                    best = mode;
                    found = true;
                }
            }
            if (!found) {
                log::logf(log::Warn, "push-native: %s has no preferred or enumerable mode", display.key.c_str());
                ++failed;
                continue;
            }
            usedFallback = true;
            log::logf(log::Warn, "push-native: %s has no preferred mode, using %ux%u@%uHz", display.key.c_str(),
                      best.width, best.height, best.refreshHz);
            target = best;
        }
        const ActionResult result = manager_.setMode(display.key, target.width, target.height, target.refreshHz);
        if (result.ok) {
            ++applied;
        } else {
            log::logf(log::Warn, "push-native: %s", result.message.c_str());
            ++failed;
        }
    }
    return summary(applied, strprintf("Native modes applied to %d display(s)%s%s", applied,
                                      usedFallback ? " (some used fallback mode)" : "", failed > 0 ? SomeFailed : ""));
}

ActionResult ResolutionPush::pushResolution(uint32_t width, uint32_t height) {
    const std::vector<DisplayInfo> displays = manager_.enumerate();
    if (displays.empty())
        return ActionResult::failure("No active displays");

    int applied = 0;
    int failed = 0;
    bool unsupported = false;
    for (const DisplayInfo& display : displays) {
        bool offered = false;
        for (const DisplayMode& mode : manager_.modes(display.key))
            offered = offered || (mode.width == width && mode.height == height);
        if (!offered) {
            log::logf(log::Info, "push-res: %s does not offer %ux%u; skipped", display.key.c_str(), width, height);
            unsupported = true;
            continue;
        }
        if (display.width == width && display.height == height) {
            ++applied;
            continue;
        }
        const ActionResult result = manager_.setMode(display.key, width, height, 0);
        if (result.ok) {
            ++applied;
        } else {
            log::logf(log::Warn, "push-res: %s", result.message.c_str());
            ++failed;
        }
    }
    return summary(applied, strprintf("%ux%u applied to %d display(s)%s%s", width, height, applied,
                                      unsupported ? "; some don't support it" : "", failed > 0 ? SomeFailed : ""));
}

} // namespace qv
