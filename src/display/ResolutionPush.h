#pragma once
#include "base/ActionResult.h"

#include <cstdint>

namespace qv {

class DisplayManager;

// Sets a mode on every active display in one step: each one's largest mode,
// its native (preferred) mode, or one fixed size. Each display is changed
// with DisplayManager::setMode; problems with single displays are logged and
// summed up in the result, and never stop the walk.
class ResolutionPush {
public:
    explicit ResolutionPush(DisplayManager& manager);

    ActionResult pushMaxModes();
    ActionResult pushNativeModes();
    ActionResult pushResolution(uint32_t width, uint32_t height);

private:
    DisplayManager& manager_;
};

} // namespace qv
