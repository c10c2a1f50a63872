#include "ui/TrayController.h"

#include "audio/AppAudioReset.h"
#include "audio/AudioEndpoints.h"
#include "audio/DeviceSwitches.h"
#include "base/Elevation.h"
#include "base/LogTesting.h"
#include "sim/SimAudio.h"
#include "sim/SimBrowserRuntime.h"
#include "sim/SimDeviceTree.h"
#include "sim/SimProcess.h"
#include "sim/SimSettingsPageWindow.h"
#include "sim/SimShell.h"
#include "ui/TrayMenu.h"
#include "unit/CoreWorld.h"
#include "web/FlyoutHooks.h"
#include "web/GlassSettingsWindow.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace qv {
namespace {

using Notice = sim::SimShell::Notice;
constexpr uint64_t kInstance = 0x140000000;

// The flyout's audio hooks as the controller installs them over the
// endpoints: speakers and headphones (default), a disabled HDMI output, a
// USB microphone.
class ControllerAudioTest : public test::CoreWorld {
protected:
    void SetUp() override {
        log::resetForTests();
        audio.add(AudioFlow::Render, "{r.speakers}", "Speakers");
        audio.add(AudioFlow::Render, "{r.headphones}", "Headphones").volume = 0.25f;
        audio.add(AudioFlow::Render, "{r.hdmi}", "HDMI Output", kEndpointDisabled);
        audio.add(AudioFlow::Capture, "{c.usb}", "USB Microphone").muted = true;
        audio.setDefault(AudioFlow::Render, "{r.headphones}");
        audio.setDefault(AudioFlow::Capture, "{c.usb}");
        TrayController::Ports ports{desk.process, desk.shell, desk.hotkeys, desk.ticks};
        ports.audio = &endpoints;
        ports.devices = &switches;
        ports.appAudio = &appAudio;
        ports.settingsPage = &page;
        ports.browserRuntime = &runtime;
        camera.instanceId = "USB\\VID_046D&PID_0825\\1";
        camera.friendlyName = "Webcam";
        camera.interfaces = {DeviceTree::Source::VideoCameraInterface};
        tree.devices.push_back(camera);
        controller = std::make_unique<TrayController>(ports);
        ASSERT_TRUE(controller->create(kInstance, bus, manager, layouts, config));
        hooks = controller->flyoutHooks();
        desk.shell.notices.clear();
        desk.debug.clear();
    }

    sim::SimAudio audio;
    AudioEndpoints endpoints{audio};
    sim::SimDeviceTree tree;
    sim::SimDeviceTree::Device camera;
    Elevation elevation{desk.process, desk.process, desk.process};
    DeviceSwitches switches{tree, elevation};
    AppAudioReset appAudio{desk.process};
    sim::SimSettingsPageWindow page;
    sim::SimBrowserRuntime runtime;
    std::unique_ptr<TrayController> controller;
    FlyoutHooks hooks;
};

TEST_F(ControllerAudioTest, ChoicesAndLevelsComeFromTheDefaultEndpoints) {
    ASSERT_TRUE(hooks.listAudio && hooks.audioLevel && hooks.setVolume && hooks.setMute && hooks.setDefaultAudio);
    const std::vector<AudioChoice> speakers = hooks.listAudio(false);
    ASSERT_EQ(speakers.size(), 2u) << "the disabled output is not offered";
    EXPECT_EQ(speakers[0].name, "Speakers");
    EXPECT_FALSE(speakers[0].isDefault);
    EXPECT_EQ(speakers[1].id, "{r.headphones}");
    EXPECT_TRUE(speakers[1].isDefault);

    const FlyoutHooks::Level out = hooks.audioLevel(false);
    EXPECT_TRUE(out.ok);
    EXPECT_FLOAT_EQ(out.volume, 0.25f);
    EXPECT_TRUE(hooks.audioLevel(true).muted);

    // Volume and mute go to the default of the flow the page names.
    hooks.setVolume(1.7f, false);
    hooks.setMute(false, true);
    EXPECT_FLOAT_EQ(audio.find("{r.headphones}")->volume, 1.0f);
    EXPECT_FALSE(audio.find("{c.usb}")->muted);
}

TEST_F(ControllerAudioTest, DefaultSwitchLogsOrShowsWhyItFailed) {
    hooks.setDefaultAudio("{r.speakers}", false);
    EXPECT_EQ(audio.defaultFor(AudioFlow::Render, AudioRole::Console), "{r.speakers}");
    EXPECT_TRUE(desk.debug.contains("INF", "Default playback device set"));
    EXPECT_TRUE(desk.shell.notices.empty());

    hooks.setDefaultAudio("", true);
    EXPECT_EQ(desk.shell.notices, (std::vector<Notice>{{"Couldn't switch audio device", "No device selected.", true}}));
    EXPECT_FALSE(desk.debug.contains("INF", "Default microphone set"));
}

// Without an application captured in front, the flyout's reset says so
// rather than touching any override.
TEST_F(ControllerAudioTest, AppAudioResetShowsItsNotice) {
    ASSERT_TRUE(hooks.resetAppAudio);
    hooks.resetAppAudio();
    EXPECT_EQ(desk.shell.notices,
              (std::vector<Notice>{{"Nothing to reset",
                                    "Couldn't tell which app was in front. Click the app, then reopen this menu.", true}}));
}

// Device switches that Windows finishes only after a restart, on the
// settings page: each says so, and the lists pushed after it show the state
// the user asked for, for a camera and an audio endpoint alike, rather than
// the old state Windows still reports.
TEST_F(ControllerAudioTest, SwitchesFinishedAfterARestartAreListedAsAskedAndSaySo) {
    desk.process.tokenElevationValue = 1;
    tree.devices[0].finishes = sim::SimDeviceTree::Finish::AfterRestart;
    sim::SimDeviceTree::Device speakers;
    speakers.instanceId = "SWD\\MMDEVAPI\\{r.speakers}";
    speakers.setupClass = sim::SimDeviceTree::SetupClass::Other;
    speakers.finishes = sim::SimDeviceTree::Finish::AfterReboot;
    tree.devices.push_back(speakers);
    runtime.installed = true;
    controller->onCommand(TrayMenu::kSettings);
    page.loadPage();
    ASSERT_NE(page.window, nullptr);
    page.clearCalls();

    page.window->onSettingsMessage(R"({"type":"device","id":"USB\\VID_046D&PID_0825\\1","on":false})");
    page.window->onSettingsMessage(R"({"type":"device","id":"SWD\\MMDEVAPI\\{r.speakers}","on":false})");
    const std::vector<std::string> scripts = page.scripts();
    ASSERT_EQ(scripts.size(), 4u);
    const std::string notice =
        R"(window.qvNotice&&window.qvNotice("Windows will finish this after a restart.","info"))";
    EXPECT_EQ(scripts[1], notice);
    EXPECT_EQ(scripts[3], notice);
    ASSERT_EQ(scripts[2].rfind("window.qvInit(", 0), 0u);
    const nlohmann::json doc = nlohmann::json::parse(scripts[2].substr(14, scripts[2].size() - 15));
    EXPECT_EQ(doc["cams"], nlohmann::json::parse(
                               R"([{"id":"USB\\VID_046D&PID_0825\\1","name":"Webcam","on":false,"present":true}])"));
    std::map<std::string, bool> speakerStates;
    for (const nlohmann::json& d : doc["spkDevs"]) speakerStates[d["id"]] = d["on"];
    EXPECT_EQ(speakerStates, (std::map<std::string, bool>{{"SWD\\MMDEVAPI\\{r.speakers}", false},
                                                          {"SWD\\MMDEVAPI\\{r.headphones}", true},
                                                          {"SWD\\MMDEVAPI\\{r.hdmi}", false}}));
    EXPECT_FALSE(tree.devices[0].disabled) << "Windows still has the camera on";
    EXPECT_TRUE(desk.shell.notices.empty());
}

} // namespace
} // namespace qv
