#pragma once
#include "audio/DeviceEntry.h"
#include "audio/DeviceTree.h"

#include <map>
#include <string>
#include <vector>

namespace qv {

class Elevation;

// Lists the cameras and turns any device on or off at the hardware level by
// its device instance id (the device is disabled in Windows, not muted).
// Switching needs an elevated process. Every call opens and destroys its
// own device information sets; nothing is kept between calls.
class DeviceSwitches {
public:
    static constexpr const char* kNoDevice = "No device selected.";
    static constexpr const char* kEnableNeedsAdmin = "Enabling a device needs administrator rights.";
    static constexpr const char* kDisableNeedsAdmin = "Disabling a device needs administrator rights.";
    static constexpr const char* kNoDeviceList = "Couldn't open the device list.";
    static constexpr const char* kNotAttached = "That device is no longer attached.";
    static constexpr const char* kEnableRefused = "Windows wouldn't enable that device.";
    static constexpr const char* kDisableRefused =
        "Windows wouldn't disable that device. Some built-in devices can't be turned off.";
    static constexpr const char* kAfterRestart = "Windows will finish this after a restart.";

    DeviceSwitches(DeviceTree& tree, Elevation& elevation);

    // The cameras: every device of the camera setup class, then the devices
    // of the imaging setup class that expose a camera interface; each once,
    // named, with an instance id. A camera counts as disabled only when its
    // node reports the disabled problem; one that is not plugged in is
    // listed as enabled and present.
    std::vector<DeviceEntry> listCameras();

    // Enables or disables the device with that instance id (any letter
    // case); false with the reason in `message`. True when Windows took the
    // change: `message` is then empty, or kAfterRestart when the device's
    // driver can only stop or start at the next restart of Windows. Logs
    // "Device %s: %s" on success.
    bool setDeviceEnabled(const std::string& instanceId, bool enable, std::string& message);

    // A device whose change waits for the restart still reports its old
    // state until then; this shows those entries (matched by instance id) in
    // the state the user asked for, so a list read again does not flip back.
    // listCameras does this itself; audio endpoint lists are passed through it.
    void showRequestedStates(std::vector<DeviceEntry>& entries) const;

    bool isElevated();

private:
    DeviceTree& tree_;
    Elevation& elevation_;
    // Changes Windows finishes at the next restart: the state asked for, by
    // upper-case instance id. The program starts afresh after that restart.
    std::map<std::string, bool> afterRestart_;
};

} // namespace qv
