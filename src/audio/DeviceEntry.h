#pragma once
#include <cstdint>
#include <string>

namespace qv {

// What a device listing asks for: playback endpoints (render), recording
// endpoints (capture) or cameras.
enum class DeviceKind : int32_t {
    Playback = 0,
    Recording = 1,
    Camera = 2,
};

// One listed device.
struct DeviceEntry {
    std::string id;         // endpoint id (a camera's: its instance id)
    std::string name;       // friendly name; empty when unreadable
    std::string instanceId; // device instance id: the key to enable or disable it
    DeviceKind kind = DeviceKind::Playback;
    bool isDefault = false; // the default console endpoint of its flow
    bool enabled = false;   // not disabled
    bool present = false;   // not unplugged
};

} // namespace qv
