#include "sim/SimDeviceTree.h"

namespace qv::sim {

namespace {

// SP_DEVINSTALL_PARAMS.Flags, written here from Microsoft Learn's
// "SP_DEVINSTALL_PARAMS_W structure (setupapi.h)", not taken from the program.
constexpr uint32_t kClassInstallParams = 0x00100000; // DI_CLASSINSTALLPARAMS
constexpr uint32_t kNeedRestart = 0x00000080;        // DI_NEEDRESTART
constexpr uint32_t kNeedReboot = 0x00000100;         // DI_NEEDREBOOT
// A device's registry property, node status bit and problem code, from
// Microsoft Learn's SetupDiGetDeviceRegistryPropertyW page and "Device
// Manager error messages".
constexpr uint32_t kPropertyFriendlyName = 0x0C; // SPDRP_FRIENDLYNAME
constexpr uint32_t kStatusHasProblem = 0x00000400; // DN_HAS_PROBLEM
constexpr uint32_t kProblemCodeDisabled = 22;      // CM_PROB_DISABLED, "Code 22"

const char* sourceName(DeviceTree::Source source) {
    switch (source) {
    case DeviceTree::Source::CameraClass: return "camera class";
    case DeviceTree::Source::ImagingClass: return "imaging class";
    case DeviceTree::Source::VideoCameraInterface: return "KSCATEGORY_VIDEO_CAMERA";
    case DeviceTree::Source::VideoInterface: return "KSCATEGORY_VIDEO";
    case DeviceTree::Source::AllClasses: return "DIGCF_ALLCLASSES";
    }
    return "?";
}

bool belongs(const SimDeviceTree::Device& device, DeviceTree::Source source) {
    switch (source) {
    case DeviceTree::Source::CameraClass: return device.setupClass == SimDeviceTree::SetupClass::Camera;
    case DeviceTree::Source::ImagingClass: return device.setupClass == SimDeviceTree::SetupClass::Imaging;
    case DeviceTree::Source::VideoCameraInterface:
    case DeviceTree::Source::VideoInterface: return device.interfaces.count(source) != 0;
    case DeviceTree::Source::AllClasses: return true;
    }
    return false;
}

// The devices of one set, by pointer into the tree's list (the list is not
// changed while a set is open).
class SimDeviceSet final : public DeviceSet {
public:
    SimDeviceSet(std::vector<SimDeviceTree::Device*> members, std::vector<std::string>& calls,
                 std::shared_ptr<int> openSets)
        : members_(std::move(members)), calls_(calls), openSets_(std::move(openSets)) {
        ++*openSets_;
    }
    ~SimDeviceSet() override {
        --*openSets_;
        calls_.push_back("SetupDiDestroyDeviceInfoList");
    }

    bool exists(uint32_t index) override { return index < members_.size(); }

    std::string instanceId(uint32_t index) override {
        if (!exists(index) || members_[index]->instanceIdFails) return {};
        return members_[index]->instanceId;
    }

    bool property(uint32_t index, uint32_t property, std::string& text) override {
        if (!exists(index)) return false;
        const SimDeviceTree::Device& d = *members_[index];
        const std::string& value = property == kPropertyFriendlyName ? d.friendlyName : d.description;
        if (value.empty()) return false;
        text = value;
        return true;
    }

    bool nodeStatus(uint32_t index, uint32_t& status, uint32_t& problem) override {
        if (!exists(index) || !members_[index]->present) return false;
        status = 0x0000000A; // DN_DRIVER_LOADED | DN_STARTED
        problem = 0;
        if (members_[index]->disabled) {
            status |= kStatusHasProblem;
            problem = kProblemCodeDisabled;
        }
        return true;
    }

    bool changeState(uint32_t index, bool enable, uint32_t& installFlags) override {
        installFlags = 0;
        if (!exists(index)) return false;
        SimDeviceTree::Device& d = *members_[index];
        calls_.push_back(std::string("SetupDiCallClassInstaller(DIF_PROPERTYCHANGE, ") +
                         (enable ? "DICS_ENABLE" : "DICS_DISABLE") + ", " + d.instanceId + ")");
        if (d.refusesChange) return false;
        switch (d.finishes) {
        case SimDeviceTree::Finish::AtOnce: d.disabled = !enable; break;
        case SimDeviceTree::Finish::AfterRestart: installFlags = kNeedRestart; break;
        case SimDeviceTree::Finish::AfterReboot: installFlags = kNeedReboot; break;
        }
        // Flags the installer leaves whatever it did.
        installFlags |= kClassInstallParams;
        return true;
    }

private:
    std::vector<SimDeviceTree::Device*> members_;
    std::vector<std::string>& calls_;
    std::shared_ptr<int> openSets_;
};

} // namespace

SimDeviceTree::Device* SimDeviceTree::find(const std::string& instanceId) {
    for (Device& d : devices)
        if (d.instanceId == instanceId) return &d;
    return nullptr;
}

std::unique_ptr<DeviceSet> SimDeviceTree::open(Source source) {
    calls.push_back(std::string("SetupDiGetClassDevsW(") + sourceName(source) + ")");
    if (failingSources.count(source)) return nullptr;
    std::vector<Device*> members;
    for (Device& d : devices)
        if (belongs(d, source)) members.push_back(&d);
    return std::make_unique<SimDeviceSet>(std::move(members), calls, openSets_);
}

} // namespace qv::sim
