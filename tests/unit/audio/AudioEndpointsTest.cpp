#include "audio/AudioEndpoints.h"

#include "sim/SimAudio.h"
#include "sim/SimDebugOutput.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <vector>

namespace qv {
namespace {

using sim::SimAudio;
using sim::SimAudioEndpoint;

// A desk with speakers, headphones (default), a disabled HDMI output, an
// unplugged line out and a removed dock speaker; a USB microphone as the
// recording default.
class AudioEndpointsTest : public ::testing::Test {
protected:
    AudioEndpointsTest() {
        audio.add(AudioFlow::Render, "{r.speakers}", "Speakers");
        audio.add(AudioFlow::Render, "{r.headphones}", "Headphones");
        audio.add(AudioFlow::Render, "{r.hdmi}", "HDMI Output", kEndpointDisabled);
        audio.add(AudioFlow::Render, "{r.lineout}", "Line Out", kEndpointUnplugged);
        audio.add(AudioFlow::Render, "{r.dock}", "Dock Speaker", kEndpointNotPresent);
        audio.add(AudioFlow::Capture, "{c.usb}", "USB Microphone");
        audio.setDefault(AudioFlow::Render, "{r.headphones}");
        audio.setDefault(AudioFlow::Capture, "{c.usb}");
    }
    sim::CapturedLog log;
    SimAudio audio;
    AudioEndpoints endpoints{audio};
    std::string message;
};

TEST_F(AudioEndpointsTest, ListsEveryUsableStateAndOffersOnlyEnabledPresentOnes) {
    const std::vector<DeviceEntry> devices = endpoints.listDevices(DeviceKind::Playback);
    struct Expected {
        const char* id;
        const char* name;
        bool isDefault, enabled, present;
    };
    const Expected expected[] = {
        {"{r.speakers}", "Speakers", false, true, true},
        {"{r.headphones}", "Headphones", true, true, true},
        {"{r.hdmi}", "HDMI Output", false, false, true},
        {"{r.lineout}", "Line Out", false, true, true},
    };
    ASSERT_EQ(devices.size(), std::size(expected)); // the removed dock speaker is not asked for
    for (size_t i = 0; i < devices.size(); ++i) {
        SCOPED_TRACE(expected[i].id);
        EXPECT_EQ(devices[i].id, expected[i].id);
        EXPECT_EQ(devices[i].name, expected[i].name);
        EXPECT_EQ(devices[i].instanceId, std::string("SWD\\MMDEVAPI\\") + expected[i].id);
        EXPECT_EQ(devices[i].kind, DeviceKind::Playback);
        EXPECT_EQ(devices[i].isDefault, expected[i].isDefault);
        EXPECT_EQ(devices[i].enabled, expected[i].enabled);
        EXPECT_EQ(devices[i].present, expected[i].present);
    }

    const std::vector<AudioDeviceChoice> choices = endpoints.audioChoices(false);
    ASSERT_EQ(choices.size(), 3u); // the disabled HDMI output is left out, the unplugged line out offered
    EXPECT_EQ(choices[0].id, "{r.speakers}");
    EXPECT_EQ(choices[1].id, "{r.headphones}");
    EXPECT_TRUE(choices[1].isDefault);
    EXPECT_EQ(choices[2].id, "{r.lineout}");
    EXPECT_EQ(choices[2].name, "Line Out");

    const std::vector<AudioDeviceChoice> microphones = endpoints.audioChoices(true);
    ASSERT_EQ(microphones.size(), 1u);
    EXPECT_EQ(microphones[0].id, "{c.usb}");
    EXPECT_TRUE(microphones[0].isDefault);
}

TEST_F(AudioEndpointsTest, ListingsThatCannotBeHadAreEmpty) {
    audio.add(AudioFlow::Render, "", "Nameless"); // an endpoint whose id could not be read
    EXPECT_EQ(endpoints.listDevices(DeviceKind::Playback).size(), 4u);
    EXPECT_TRUE(endpoints.listDevices(DeviceKind::Camera).empty());
    EXPECT_TRUE(endpoints.listDevices(static_cast<DeviceKind>(7)).empty());

    audio.setDefault(AudioFlow::Render, "");
    for (const DeviceEntry& d : endpoints.listDevices(DeviceKind::Playback)) EXPECT_FALSE(d.isDefault) << d.id;

    audio.enumeratorFails = true;
    EXPECT_TRUE(endpoints.listDevices(DeviceKind::Playback).empty());
    EXPECT_TRUE(endpoints.audioChoices(true).empty());
}

TEST_F(AudioEndpointsTest, LevelsComeFromTheDefaultAndItsControlsStayOpenUntilItChanges) {
    audio.find("{r.headphones}")->volume = 0.25f;
    audio.find("{r.headphones}")->muted = true;
    audio.find("{r.headphones}")->peak = 0.75f;

    AudioLevel level = endpoints.readLevel(false);
    EXPECT_TRUE(level.ok);
    EXPECT_FLOAT_EQ(level.volume, 0.25f);
    EXPECT_TRUE(level.muted);
    EXPECT_FLOAT_EQ(level.peak, 0.75f);
    endpoints.readLevel(false);
    endpoints.readLevel(false);
    EXPECT_EQ(audio.openedIds, std::vector<std::string>{"{r.headphones}"});

    // The user switches in Windows' own settings: the next read follows.
    audio.setDefault(AudioFlow::Render, "{r.speakers}");
    level = endpoints.readLevel(false);
    EXPECT_FLOAT_EQ(level.volume, 0.5f);
    EXPECT_FALSE(level.muted);
    EXPECT_EQ(audio.openedIds, (std::vector<std::string>{"{r.headphones}", "{r.speakers}"}));
    EXPECT_EQ(audio.controlsAlive, 1); // the old pair was released

    // Each flow has its own slot.
    EXPECT_TRUE(endpoints.readLevel(true).ok);
    endpoints.readLevel(false);
    EXPECT_EQ(audio.controlsOpened, 3);
    EXPECT_EQ(audio.controlsAlive, 2);
}

TEST_F(AudioEndpointsTest, TheReadAfterASwitchOpensTheNewDefault) {
    endpoints.readLevel(false);
    endpoints.readLevel(true);
    ASSERT_TRUE(endpoints.setDefaultAudio("{r.speakers}", message)) << message;
    EXPECT_EQ(audio.controlsAlive, 0); // both flows' slots are emptied
    EXPECT_EQ(audio.defaultFor(AudioFlow::Render, AudioRole::Communications), "{r.speakers}");

    endpoints.readLevel(false);
    EXPECT_EQ(audio.openedIds.back(), "{r.speakers}");
    endpoints.readLevel(true);
    EXPECT_EQ(audio.openedIds.back(), "{c.usb}");
    EXPECT_EQ(audio.controlsOpened, 4);
}

// After the audio service restarts, the open controls answer
// AUDCLNT_E_DEVICE_INVALIDATED to every call while the default's id stays the
// same. The request that meets them fails, lets them go, and the next level
// tick opens the endpoint again; any other refusal keeps them.
TEST_F(AudioEndpointsTest, InvalidatedControlsAreOpenedAgainOnTheNextTick) {
    struct Case {
        const char* what;
        void (*happen)(SimAudio&);
        // The request that meets the controls, its outcome and its message.
        bool (*request)(AudioEndpoints&, std::string&);
        const char* message;
        bool reopened;
    };
    const Case cases[] = {
        {"service restart meets a level tick", [](SimAudio& a) { a.restartService(); },
         [](AudioEndpoints& e, std::string&) { return e.readLevel(false).ok; }, "", true},
        {"service restart meets a volume change", [](SimAudio& a) { a.restartService(); },
         [](AudioEndpoints& e, std::string& m) { return e.setVolume(false, 0.9f, m); },
         "Windows refused the volume change.", true},
        {"service restart meets a mute", [](SimAudio& a) { a.restartService(); },
         [](AudioEndpoints& e, std::string& m) { return e.setMute(false, true, m); },
         "Windows refused the mute change.", true},
        {"an ordinary refusal", [](SimAudio& a) { a.find("{r.headphones}")->volumeCallsFail = true; },
         [](AudioEndpoints& e, std::string& m) { return e.setVolume(false, 0.9f, m); },
         "Windows refused the volume change.", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimAudio system;
        system.add(AudioFlow::Render, "{r.headphones}", "Headphones").volume = 0.3f;
        system.add(AudioFlow::Capture, "{c.usb}", "USB Microphone");
        system.setDefault(AudioFlow::Render, "{r.headphones}");
        system.setDefault(AudioFlow::Capture, "{c.usb}");
        AudioEndpoints subject(system);
        ASSERT_TRUE(subject.readLevel(false).ok);
        ASSERT_TRUE(subject.readLevel(true).ok);

        c.happen(system);
        std::string text;
        EXPECT_FALSE(c.request(subject, text));
        EXPECT_EQ(text, c.message);
        // The other flow's slot is not touched.
        EXPECT_EQ(system.controlsAlive, c.reopened ? 1 : 2);

        system.find("{r.headphones}")->volumeCallsFail = false;
        const AudioLevel level = subject.readLevel(false);
        EXPECT_TRUE(level.ok);
        EXPECT_FLOAT_EQ(level.volume, 0.3f);
        EXPECT_EQ(system.openedIds, c.reopened
                                        ? (std::vector<std::string>{"{r.headphones}", "{c.usb}", "{r.headphones}"})
                                        : (std::vector<std::string>{"{r.headphones}", "{c.usb}"}));
        ASSERT_TRUE(subject.setVolume(false, 0.6f, text)) << text;
        EXPECT_FLOAT_EQ(system.find("{r.headphones}")->volume, 0.6f);
    }
}

TEST_F(AudioEndpointsTest, LevelIsAllZeroWhenNothingCanBeRead) {
    struct Case {
        const char* what;
        void (*arrange)(SimAudio&);
    };
    const Case cases[] = {
        {"no recording default", [](SimAudio& a) { a.setDefault(AudioFlow::Capture, ""); }},
        {"no enumerator", [](SimAudio& a) { a.enumeratorFails = true; }},
        {"controls cannot be activated", [](SimAudio& a) { a.find("{c.usb}")->activationFails = true; }},
        {"volume cannot be read", [](SimAudio& a) { a.find("{c.usb}")->volumeCallsFail = true; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimAudio system;
        SimAudioEndpoint& mic = system.add(AudioFlow::Capture, "{c.usb}", "USB Microphone");
        mic.volume = 0.8f;
        mic.muted = true;
        mic.peak = 0.4f;
        system.setDefault(AudioFlow::Capture, "{c.usb}");
        c.arrange(system);
        AudioEndpoints subject(system);
        const AudioLevel level = subject.readLevel(true);
        EXPECT_FALSE(level.ok);
        EXPECT_EQ(level.volume, 0.0f);
        EXPECT_FALSE(level.muted);
        EXPECT_EQ(level.peak, 0.0f);
    }

    // A meter that fails leaves only the peak at zero.
    audio.find("{c.usb}")->peak = 0.4f;
    audio.find("{c.usb}")->peakFails = true;
    const AudioLevel level = endpoints.readLevel(true);
    EXPECT_TRUE(level.ok);
    EXPECT_FLOAT_EQ(level.volume, 0.5f);
    EXPECT_EQ(level.peak, 0.0f);
}

TEST_F(AudioEndpointsTest, VolumeIsClampedToTheScale) {
    const struct {
        float asked;
        float set;
    } cases[] = {{1.7f, 1.0f}, {-0.2f, 0.0f}, {0.35f, 0.35f}, {std::numeric_limits<float>::infinity(), 1.0f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.asked);
        ASSERT_TRUE(endpoints.setVolume(false, c.asked, message)) << message;
        EXPECT_FLOAT_EQ(audio.find("{r.headphones}")->volume, c.set);
        EXPECT_FLOAT_EQ(endpoints.readLevel(false).volume, c.set);
    }
    EXPECT_TRUE(endpoints.setMute(true, true, message));
    EXPECT_TRUE(audio.find("{c.usb}")->muted);
    EXPECT_TRUE(endpoints.readLevel(true).muted);
    EXPECT_FALSE(audio.find("{r.headphones}")->muted);
}

TEST_F(AudioEndpointsTest, FailureMessages) {
    struct Case {
        const char* what;
        void (*arrange)(SimAudio&);
        bool (*act)(AudioEndpoints&, std::string&);
        const char* message;
    };
    const Case cases[] = {
        {"volume, no enumerator", [](SimAudio& a) { a.enumeratorFails = true; },
         [](AudioEndpoints& e, std::string& m) { return e.setVolume(false, 0.5f, m); }, "No default device to adjust."},
        {"mute, no recording default", [](SimAudio& a) { a.setDefault(AudioFlow::Capture, ""); },
         [](AudioEndpoints& e, std::string& m) { return e.setMute(true, true, m); }, "No default device to adjust."},
        {"volume, not activatable", [](SimAudio& a) { a.find("{r.headphones}")->activationFails = true; },
         [](AudioEndpoints& e, std::string& m) { return e.setVolume(false, 0.5f, m); }, "No default device to adjust."},
        {"volume refused", [](SimAudio& a) { a.find("{r.headphones}")->volumeCallsFail = true; },
         [](AudioEndpoints& e, std::string& m) { return e.setVolume(false, 0.5f, m); },
         "Windows refused the volume change."},
        {"volume not a number", [](SimAudio&) {},
         [](AudioEndpoints& e, std::string& m) { return e.setVolume(false, std::nanf(""), m); },
         "Windows refused the volume change."},
        {"mute refused", [](SimAudio& a) { a.find("{r.headphones}")->volumeCallsFail = true; },
         [](AudioEndpoints& e, std::string& m) { return e.setMute(false, true, m); }, "Windows refused the mute change."},
        {"switch without an id", [](SimAudio&) {},
         [](AudioEndpoints& e, std::string& m) { return e.setDefaultAudio("", m); }, "No device selected."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimAudio system;
        system.add(AudioFlow::Render, "{r.headphones}", "Headphones").volume = 0.2f;
        system.add(AudioFlow::Capture, "{c.usb}", "USB Microphone");
        system.setDefault(AudioFlow::Render, "{r.headphones}");
        system.setDefault(AudioFlow::Capture, "{c.usb}");
        c.arrange(system);
        AudioEndpoints subject(system);
        std::string text;
        EXPECT_FALSE(c.act(subject, text));
        EXPECT_EQ(text, c.message);
        EXPECT_FLOAT_EQ(system.find("{r.headphones}")->volume, 0.2f);
        EXPECT_TRUE(system.policyCalls.empty());
    }
}

TEST_F(AudioEndpointsTest, ARefusedRoleIsRetriedThroughTheVistaForm) {
    audio.refusals[{AudioPolicyForm::Windows7, AudioRole::Multimedia}] = static_cast<int32_t>(0x80070005);
    ASSERT_TRUE(endpoints.setDefaultAudio("{r.speakers}", message)) << message;
    const AudioRole roles[] = {AudioRole::Console, AudioRole::Multimedia, AudioRole::Communications};
    ASSERT_EQ(audio.policyCalls.size(), 6u); // all three roles through each form
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(audio.policyCalls[i].form, i < 3 ? AudioPolicyForm::Windows7 : AudioPolicyForm::Vista) << i;
        EXPECT_EQ(audio.policyCalls[i].role, roles[i % 3]) << i;
        EXPECT_EQ(audio.policyCalls[i].id, "{r.speakers}") << i;
    }
    EXPECT_TRUE(log.lines().empty());

    // Through the Windows 7 form alone when it takes every role.
    audio.refusals.clear();
    audio.policyCalls.clear();
    ASSERT_TRUE(endpoints.setDefaultAudio("{c.usb}", message));
    EXPECT_EQ(audio.policyCalls.size(), 3u);
}

TEST_F(AudioEndpointsTest, ARefusedSwitchReportsTheLastCode) {
    struct Case {
        const char* what;
        bool windows7, vista;
        std::map<std::pair<AudioPolicyForm, AudioRole>, int32_t> refusals;
        size_t calls;
        const char* code;
    };
    const Case cases[] = {
        {"the Vista form refuses a middle role", true, true,
         {{{AudioPolicyForm::Windows7, AudioRole::Console}, static_cast<int32_t>(0x80070005)},
          {{AudioPolicyForm::Vista, AudioRole::Multimedia}, static_cast<int32_t>(0x88890004)}},
         6, "0x88890004"}, // not the success of the role after it
        {"the Vista form refuses the last role", true, true,
         {{{AudioPolicyForm::Windows7, AudioRole::Console}, static_cast<int32_t>(0x80070005)},
          {{AudioPolicyForm::Vista, AudioRole::Communications}, static_cast<int32_t>(0x88890004)}},
         6, "0x88890004"},
        {"only the Windows 7 form, refusing", true, false,
         {{{AudioPolicyForm::Windows7, AudioRole::Communications}, static_cast<int32_t>(0x80004005)}}, 3,
         "0x80004005"},
        {"no policy object at all", false, false, {}, 0, "0x00000000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimAudio system;
        system.add(AudioFlow::Render, "{r.speakers}", "Speakers");
        system.policyAvailable[0] = c.windows7;
        system.policyAvailable[1] = c.vista;
        system.refusals = c.refusals;
        AudioEndpoints subject(system);
        log.clear();
        std::string text;
        EXPECT_FALSE(subject.setDefaultAudio("{r.speakers}", text));
        EXPECT_EQ(system.policyCalls.size(), c.calls);
        EXPECT_EQ(text, std::string("Windows refused the device switch (") + c.code + ").");
        EXPECT_TRUE(log.contains("WRN", std::string("setDefaultAudio failed hr=") + c.code + " id={r.speakers}"))
            << (log.lines().empty() ? "" : log.lines().back());
    }
}

TEST_F(AudioEndpointsTest, ARefusedSwitchKeepsTheOpenControls) {
    endpoints.readLevel(false);
    audio.policyAvailable[0] = audio.policyAvailable[1] = false;
    EXPECT_FALSE(endpoints.setDefaultAudio("{r.speakers}", message));
    EXPECT_EQ(audio.controlsAlive, 1);
    endpoints.readLevel(false);
    EXPECT_EQ(audio.controlsOpened, 1);
}

} // namespace
} // namespace qv
