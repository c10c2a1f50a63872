#pragma once
#include "audio/DeviceTree.h"

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace qv::sim {

// A simulated SetupAPI device tree. Each device belongs to one setup class
// and exposes some interface classes; every call is recorded as one line
// named after the Windows call it stands for, e.g.
// "SetupDiGetClassDevsW(camera class)", so a test can check what was opened.
class SimDeviceTree final : public DeviceTree {
public:
    enum class SetupClass { Camera, Imaging, Other };
    // When a change the class installer accepts takes effect: at once, or
    // at the next restart, which the installer reports in the device's
    // install flags (DI_NEEDRESTART or DI_NEEDREBOOT); until then the device
    // keeps its old state.
    enum class Finish { AtOnce, AfterRestart, AfterReboot };

    struct Device {
        std::string instanceId;
        SetupClass setupClass = SetupClass::Camera;
        std::set<Source> interfaces; // VideoCameraInterface and/or VideoInterface
        std::string friendlyName;    // empty: the property cannot be read
        std::string description;     // empty: the property cannot be read
        bool present = true;         // unplugged devices have no node status
        bool disabled = false;
        bool instanceIdFails = false;
        bool refusesChange = false;
        Finish finishes = Finish::AtOnce;
    };

    std::vector<Device> devices;
    std::set<Source> failingSources;

    std::vector<std::string> calls;
    // Sets still open: each one must be destroyed.
    int openSets() const { return *openSets_; }
    Device* find(const std::string& instanceId);

    std::unique_ptr<DeviceSet> open(Source source) override;

private:
    std::shared_ptr<int> openSets_ = std::make_shared<int>(0);
};

} // namespace qv::sim
