#include "audio/DeviceSwitches.h"

#include "base/Elevation.h"
#include "sim/SimDebugOutput.h"
#include "sim/SimDeviceTree.h"
#include "sim/SimProcess.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace qv {
namespace {

using sim::SimDeviceTree;
using Source = DeviceTree::Source;
using SetupClass = SimDeviceTree::SetupClass;

const std::string kWebcam = "USB\\VID_046D&PID_085C&MI_00\\7&1A2B3C4D&0&0000";
const std::string kOldWebcam = "USB\\VID_0C45&PID_6366&MI_00\\6&2B3C4D5E&0&0000";
const std::string kScanner = "USB\\VID_04B8&PID_0142\\5&3C4D5E6F&0&2";

SimDeviceTree::Device device(const std::string& id, SetupClass setupClass, std::set<Source> interfaces,
                             const std::string& friendlyName, const std::string& description = "") {
    SimDeviceTree::Device d;
    d.instanceId = id;
    d.setupClass = setupClass;
    d.interfaces = std::move(interfaces);
    d.friendlyName = friendlyName;
    d.description = description;
    return d;
}

class DeviceSwitchesTest : public ::testing::Test {
protected:
    sim::CapturedLog log;
    sim::SimProcess process;
    Elevation elevation{process, process, process};
    SimDeviceTree tree;
    DeviceSwitches switches{tree, elevation};
};

struct Listed {
    std::string id;
    std::string name;
    bool enabled;
};

std::vector<Listed> summary(const std::vector<DeviceEntry>& entries) {
    std::vector<Listed> out;
    for (const DeviceEntry& e : entries) {
        EXPECT_EQ(e.instanceId, e.id);
        EXPECT_EQ(e.kind, DeviceKind::Camera);
        EXPECT_FALSE(e.isDefault);
        EXPECT_TRUE(e.present);
        out.push_back({e.id, e.name, e.enabled});
    }
    return out;
}

void expectListed(const std::vector<Listed>& actual, const std::vector<Listed>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i) {
        EXPECT_EQ(actual[i].id, expected[i].id) << i;
        EXPECT_EQ(actual[i].name, expected[i].name) << i;
        EXPECT_EQ(actual[i].enabled, expected[i].enabled) << i;
    }
}

TEST_F(DeviceSwitchesTest, ListsEachCameraOnceInClassOrder) {
    const std::set<Source> both = {Source::VideoCameraInterface, Source::VideoInterface};
    // An imaging-class webcam comes first in Windows' order, yet cameras of
    // the camera class are listed before it.
    tree.devices.push_back(device(kOldWebcam, SetupClass::Imaging, {Source::VideoInterface}, "", "USB Video Device"));
    tree.devices.push_back(device(kScanner, SetupClass::Imaging, {}, "EPSON Scanner"));
    tree.devices.push_back(device(kWebcam, SetupClass::Camera, both, "Logi Webcam"));
    tree.devices.push_back(device(kWebcam, SetupClass::Imaging, both, "Logi Webcam (imaging)"));
    auto disabled = device("USB\\VID_1BCF&PID_2284\\1", SetupClass::Camera, both, "Integrated Camera");
    disabled.disabled = true;
    tree.devices.push_back(disabled);
    auto unplugged = device("USB\\VID_2BD9&PID_0011\\2", SetupClass::Camera, both, "Travel Camera");
    unplugged.present = false;
    tree.devices.push_back(unplugged);
    tree.devices.push_back(device("USB\\VID_0001\\nameless", SetupClass::Camera, both, ""));
    auto noId = device("USB\\VID_0002\\noid", SetupClass::Camera, both, "No Id Camera");
    noId.instanceIdFails = true;
    tree.devices.push_back(noId);
    tree.devices.push_back(device("PCI\\VEN_1131&DEV_7160\\capture", SetupClass::Other, both, "Capture Card"));

    expectListed(summary(switches.listCameras()), {
                                                      {kWebcam, "Logi Webcam", true},
                                                      {"USB\\VID_1BCF&PID_2284\\1", "Integrated Camera", false},
                                                      {"USB\\VID_2BD9&PID_0011\\2", "Travel Camera", true},
                                                      {kOldWebcam, "USB Video Device", true},
                                                  });
    EXPECT_EQ(tree.openSets(), 0);
}

TEST_F(DeviceSwitchesTest, ASetThatCannotBeOpenedAddsNothing) {
    tree.devices.push_back(device(kWebcam, SetupClass::Camera, {Source::VideoCameraInterface}, "Logi Webcam"));
    tree.devices.push_back(device(kOldWebcam, SetupClass::Imaging, {Source::VideoInterface}, "USB Video Device"));
    struct Case {
        std::set<Source> failing;
        std::vector<std::string> ids;
    };
    const std::vector<Case> cases = {
        {{Source::VideoInterface}, {kWebcam}},
        {{Source::VideoCameraInterface}, {kWebcam, kOldWebcam}},
        {{Source::CameraClass}, {kOldWebcam}},
        {{Source::ImagingClass}, {kWebcam}},
        {{Source::CameraClass, Source::ImagingClass}, {}},
    };
    for (const Case& c : cases) {
        tree.failingSources = c.failing;
        std::vector<std::string> ids;
        for (const DeviceEntry& e : switches.listCameras()) ids.push_back(e.id);
        EXPECT_EQ(ids, c.ids) << "failing sources: " << c.failing.size();
    }
    EXPECT_EQ(tree.openSets(), 0);
}

TEST_F(DeviceSwitchesTest, SwitchesADeviceOrSaysWhyNot) {
    struct Case {
        const char* name;
        std::string id;
        bool enable;
        bool elevated;
        bool listFails;
        bool refuses;
        bool ok;
        std::string message;
        bool disabledAfter;
    };
    const std::vector<Case> cases = {
        {"no id", "", true, false, false, false, false, "No device selected.", true},
        {"enable unelevated", kWebcam, true, false, false, false, false,
         "Enabling a device needs administrator rights.", true},
        {"disable unelevated", kWebcam, false, false, false, false, false,
         "Disabling a device needs administrator rights.", true},
        {"no device list", kWebcam, true, true, true, false, false, "Couldn't open the device list.", true},
        {"gone", "USB\\VID_FFFF\\gone", true, true, false, false, false, "That device is no longer attached.", true},
        {"enable refused", kWebcam, true, true, false, true, false, "Windows wouldn't enable that device.", true},
        {"disable refused", kWebcam, false, true, false, true, false,
         "Windows wouldn't disable that device. Some built-in devices can't be turned off.", true},
        {"enable", kWebcam, true, true, false, false, true, "", false},
        {"any letter case", "usb\\vid_046d&pid_085c&mi_00\\7&1a2b3c4d&0&0000", false, true, false, false, true, "",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tree.devices = {device(kScanner, SetupClass::Imaging, {}, "EPSON Scanner"),
                        device(kWebcam, SetupClass::Camera, {Source::VideoCameraInterface}, "Logi Webcam")};
        tree.devices[1].disabled = true;
        tree.devices[1].refusesChange = c.refuses;
        tree.failingSources = c.listFails ? std::set<Source>{Source::AllClasses} : std::set<Source>{};
        process.tokenElevationValue = c.elevated ? 1 : 0;
        tree.calls.clear();
        log.clear();

        std::string message = "stale";
        EXPECT_EQ(switches.setDeviceEnabled(c.id, c.enable, message), c.ok);
        EXPECT_EQ(message, c.ok ? "" : c.message);
        EXPECT_EQ(tree.devices[1].disabled, c.disabledAfter);
        EXPECT_EQ(tree.openSets(), 0);
        // Refusals before the device list is opened never touch it.
        if (c.id.empty() || !c.elevated) {
            EXPECT_TRUE(tree.calls.empty());
        }
        const std::string line =
            std::string("Device ") + (c.enable ? "enabled" : "disabled") + ": " + c.id;
        EXPECT_EQ(log.contains("INF", line), c.ok);
    }
}

// A driver that can only stop or start at the next restart: Windows takes
// the change but the device keeps its state until then. The user is told,
// and the lists show the state asked for instead of flipping back.
TEST_F(DeviceSwitchesTest, AChangeFinishedAfterARestartSaysSoAndListsTheStateAskedFor) {
    process.tokenElevationValue = 1;
    const std::string otherCase = "usb\\vid_046d&pid_085c&mi_00\\7&1a2b3c4d&0&0000";
    struct Case {
        const char* what;
        SimDeviceTree::Finish finishes;
        bool enable;
    };
    const Case cases[] = {
        {"disable, restart needed", SimDeviceTree::Finish::AfterRestart, false},
        {"enable, reboot needed", SimDeviceTree::Finish::AfterReboot, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        tree.devices = {device(kWebcam, SetupClass::Camera, {Source::VideoCameraInterface}, "Logi Webcam"),
                        device(kOldWebcam, SetupClass::Camera, {Source::VideoCameraInterface}, "USB Video Device")};
        for (SimDeviceTree::Device& d : tree.devices) d.disabled = c.enable;
        tree.devices[0].finishes = c.finishes;
        DeviceSwitches subject{tree, elevation};
        log.clear();

        std::string message;
        EXPECT_TRUE(subject.setDeviceEnabled(otherCase, c.enable, message));
        EXPECT_EQ(message, "Windows will finish this after a restart.");
        EXPECT_EQ(tree.devices[0].disabled, c.enable) << "not done before the restart";
        const std::string line = std::string("Device ") + (c.enable ? "enabled" : "disabled") + " after a restart: ";
        EXPECT_TRUE(log.contains("INF", line + otherCase));

        std::vector<DeviceEntry> cameras = subject.listCameras();
        ASSERT_EQ(cameras.size(), 2u);
        EXPECT_EQ(cameras[0].enabled, c.enable) << "as asked";
        EXPECT_EQ(cameras[1].enabled, !c.enable) << "another device as it is";
        // Audio endpoints are lists of their own, matched by instance id.
        std::vector<DeviceEntry> endpoints(3);
        endpoints[0].instanceId = kWebcam;
        endpoints[1].instanceId = kOldWebcam;
        for (DeviceEntry& e : endpoints) e.enabled = !c.enable;
        subject.showRequestedStates(endpoints);
        EXPECT_EQ(endpoints[0].enabled, c.enable);
        EXPECT_EQ(endpoints[1].enabled, !c.enable);
        EXPECT_EQ(endpoints[2].enabled, !c.enable) << "an entry without an instance id";

        // Switched back and done at once: the lists follow the device again.
        tree.devices[0].finishes = SimDeviceTree::Finish::AtOnce;
        EXPECT_TRUE(subject.setDeviceEnabled(kWebcam, !c.enable, message));
        EXPECT_EQ(message, "");
        cameras = subject.listCameras();
        EXPECT_EQ(cameras[0].enabled, !c.enable);
    }
}

} // namespace
} // namespace qv
