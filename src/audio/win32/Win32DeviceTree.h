#pragma once
#include "audio/DeviceTree.h"

namespace qv {

// The device tree through SetupAPI and the configuration manager.
class Win32DeviceTree final : public DeviceTree {
public:
    std::unique_ptr<DeviceSet> open(Source source) override;
};

} // namespace qv
