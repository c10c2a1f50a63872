#include "audio/DeviceSwitches.h"

#include "base/Elevation.h"
#include "base/Log.h"

#include <set>

namespace qv {

namespace {

// ASCII-only case folding: instance ids are ASCII.
char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool equalIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (upper(a[i]) != upper(b[i])) return false;
    return true;
}

std::string upperCase(std::string text) {
    for (char& c : text) c = upper(c);
    return text;
}

// The instance ids of the devices exposing either camera interface.
std::set<std::string> cameraInterfaceDevices(DeviceTree& tree) {
    std::set<std::string> ids;
    for (DeviceTree::Source source : {DeviceTree::Source::VideoCameraInterface, DeviceTree::Source::VideoInterface}) {
        std::unique_ptr<DeviceSet> set = tree.open(source);
        if (!set) continue;
        for (uint32_t i = 0; set->exists(i); ++i) {
            std::string id = set->instanceId(i);
            if (!id.empty()) ids.insert(std::move(id));
        }
    }
    return ids;
}

} // namespace

DeviceSwitches::DeviceSwitches(DeviceTree& tree, Elevation& elevation) : tree_(tree), elevation_(elevation) {}

std::vector<DeviceEntry> DeviceSwitches::listCameras() {
    const std::set<std::string> withCameraInterface = cameraInterfaceDevices(tree_);
    std::vector<DeviceEntry> cameras;
    std::set<std::string> listed;
    for (DeviceTree::Source source : {DeviceTree::Source::CameraClass, DeviceTree::Source::ImagingClass}) {
        std::unique_ptr<DeviceSet> set = tree_.open(source);
        if (!set) continue;
        for (uint32_t i = 0; set->exists(i); ++i) {
            const std::string id = set->instanceId(i);
            std::string name;
            if (!set->property(i, DeviceSet::kFriendlyName, name)) {
                name.clear();
                if (!set->property(i, DeviceSet::kDeviceDesc, name)) name.clear();
            }
            if (id.empty() || name.empty()) continue;
            // Scanners and other imaging devices are not cameras.
            if (source == DeviceTree::Source::ImagingClass && !withCameraInterface.count(id)) continue;
            // A webcam can be registered in both classes.
            if (!listed.insert(id).second) continue;

            uint32_t status = 0, problem = 0;
            const bool disabled = set->nodeStatus(i, status, problem) && (status & DeviceSet::kDnHasProblem) &&
                                  problem == DeviceSet::kProblemDisabled;
            DeviceEntry entry;
            entry.id = id;
            entry.instanceId = id;
            entry.name = name;
            entry.kind = DeviceKind::Camera;
            entry.isDefault = false;
            entry.enabled = !disabled;
            entry.present = true;
            cameras.push_back(std::move(entry));
        }
    }
    showRequestedStates(cameras);
    return cameras;
}

void DeviceSwitches::showRequestedStates(std::vector<DeviceEntry>& entries) const {
    if (afterRestart_.empty()) return;
    for (DeviceEntry& entry : entries) {
        if (entry.instanceId.empty()) continue;
        auto pending = afterRestart_.find(upperCase(entry.instanceId));
        if (pending != afterRestart_.end()) entry.enabled = pending->second;
    }
}

bool DeviceSwitches::setDeviceEnabled(const std::string& instanceId, bool enable, std::string& message) {
    if (instanceId.empty()) {
        message = kNoDevice;
        return false;
    }
    if (!isElevated()) {
        message = enable ? kEnableNeedsAdmin : kDisableNeedsAdmin;
        return false;
    }
    std::unique_ptr<DeviceSet> set = tree_.open(DeviceTree::Source::AllClasses);
    if (!set) {
        message = kNoDeviceList;
        return false;
    }
    for (uint32_t i = 0; set->exists(i); ++i) {
        if (!equalIgnoringCase(set->instanceId(i), instanceId)) continue;
        uint32_t installFlags = 0;
        if (!set->changeState(i, enable, installFlags)) {
            message = enable ? kEnableRefused : kDisableRefused;
            return false;
        }
        const std::string key = upperCase(instanceId);
        if (installFlags & (DeviceSet::kDiNeedRestart | DeviceSet::kDiNeedReboot)) {
            log::logf(log::Info, "Device %s after a restart: %s", enable ? "enabled" : "disabled", instanceId.c_str());
            afterRestart_[key] = enable;
            message = kAfterRestart;
            return true;
        }
        // Done at once: a change still waiting from before is overtaken.
        afterRestart_.erase(key);
        log::logf(log::Info, "Device %s: %s", enable ? "enabled" : "disabled", instanceId.c_str());
        message.clear();
        return true;
    }
    message = kNotAttached;
    return false;
}

bool DeviceSwitches::isElevated() { return elevation_.isElevated(); }

} // namespace qv
