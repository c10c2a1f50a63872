// The audio endpoints through Wine's Core Audio. With the test tier's
// PulseAudio daemon (a null sink; PULSE_SERVER names it) Wine has real
// endpoints whose volume, mute state and meter answer; without a daemon it has
// none at all. Wine has no policy configuration class, so a default switch is
// always refused.
#include "audio/AudioEndpoints.h"
#include "audio/win32/Win32AudioSystem.h"
#include "wine/WineTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <objbase.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace qv {
namespace {

bool pulseServerNamed() { return GetEnvironmentVariableW(L"PULSE_SERVER", nullptr, 0) > 0; }

const char* kindName(DeviceKind kind) { return kind == DeviceKind::Playback ? "playback" : "recording"; }

// COM on the test's thread, as the program has it on its user-interface thread.
class AudioTest : public ::testing::Test {
protected:
    void SetUp() override {
        const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ASSERT_TRUE(SUCCEEDED(hr)) << std::hex << hr;
        comInitialised_ = true;
    }
    void TearDown() override {
        if (comInitialised_) CoUninitialize();
    }

    Win32AudioSystem system;
    std::string message;

private:
    bool comInitialised_ = false;
};

// Needs the daemon: skipped with the reason when none was started.
class AudioWithServer : public AudioTest {
protected:
    void SetUp() override {
        AudioTest::SetUp();
        if (!pulseServerNamed()) GTEST_SKIP() << "no PulseAudio daemon (PULSE_SERVER is not set)";
    }
};

// Needs Wine to find no audio server at all.
class AudioWithoutServer : public AudioTest {
protected:
    void SetUp() override {
        AudioTest::SetUp();
        if (pulseServerNamed()) GTEST_SKIP() << "a PulseAudio daemon is running (PULSE_SERVER is set)";
        std::vector<AudioEndpointInfo> endpoints;
        if (system.listEndpoints(AudioFlow::Render, kEndpointActive, endpoints) && !endpoints.empty())
            GTEST_SKIP() << "Wine found an audio server of this machine";
    }
};

// Answers a chosen endpoint as the default of both flows, otherwise passes
// every call to Windows: the way to move the default under the endpoints
// without a policy class.
class ChosenDefault final : public AudioSystem {
public:
    explicit ChosenDefault(AudioSystem& real) : real_(real) {}
    std::string chosen;
    bool listEndpoints(AudioFlow flow, uint32_t mask, std::vector<AudioEndpointInfo>& out) override {
        return real_.listEndpoints(flow, mask, out);
    }
    bool defaultEndpointId(AudioFlow, std::string& id) override {
        id = chosen;
        return !id.empty();
    }
    std::unique_ptr<AudioEndpointControls> openControls(const std::string& id) override {
        return real_.openControls(id);
    }
    std::unique_ptr<AudioPolicyClient> createPolicyClient(AudioPolicyForm form) override {
        return real_.createPolicyClient(form);
    }

private:
    AudioSystem& real_;
};

TEST_F(AudioWithServer, ListsEndpointsWithNamesStatesAndTheDefault) {
    AudioEndpoints endpoints(system);
    for (DeviceKind kind : {DeviceKind::Playback, DeviceKind::Recording}) {
        SCOPED_TRACE(kindName(kind));
        const std::vector<DeviceEntry> devices = endpoints.listDevices(kind);
        ASSERT_FALSE(devices.empty());
        std::string defaultId;
        ASSERT_TRUE(system.defaultEndpointId(kind == DeviceKind::Recording ? AudioFlow::Capture : AudioFlow::Render,
                                             defaultId));
        int defaults = 0;
        for (const DeviceEntry& d : devices) {
            std::printf("  %s: \"%s\" id=%s instance=\"%s\" default=%d enabled=%d present=%d\n", kindName(kind),
                        d.name.c_str(), d.id.c_str(), d.instanceId.c_str(), d.isDefault, d.enabled, d.present);
            EXPECT_FALSE(d.id.empty());
            EXPECT_FALSE(d.name.empty()) << d.id;
            EXPECT_EQ(d.kind, kind);
            EXPECT_TRUE(d.enabled && d.present) << d.id;
            EXPECT_EQ(d.isDefault, d.id == defaultId) << d.id;
            defaults += d.isDefault;
        }
        EXPECT_EQ(defaults, 1);

        const std::vector<AudioDeviceChoice> choices = endpoints.audioChoices(kind == DeviceKind::Recording);
        ASSERT_EQ(choices.size(), devices.size());
        for (size_t i = 0; i < choices.size(); ++i) {
            EXPECT_EQ(choices[i].id, devices[i].id);
            EXPECT_EQ(choices[i].name, devices[i].name);
            EXPECT_EQ(choices[i].isDefault, devices[i].isDefault);
        }
    }
}

// Whether the flow's default controls cannot be opened (Wine 8 activates an
// endpoint's volume control but no peak meter); the endpoints must then report
// no default device cleanly.
bool controlsMissing(AudioSystem& system, AudioEndpoints& endpoints, bool capture) {
    std::string id;
    EXPECT_TRUE(system.defaultEndpointId(capture ? AudioFlow::Capture : AudioFlow::Render, id));
    if (system.openControls(id)) return false;
    std::string message;
    const AudioLevel none = endpoints.readLevel(capture);
    EXPECT_FALSE(none.ok);
    EXPECT_EQ(none.volume, 0.0f);
    EXPECT_FALSE(endpoints.setVolume(capture, 0.5f, message));
    EXPECT_EQ(message, "No default device to adjust.");
    EXPECT_FALSE(endpoints.setMute(capture, true, message));
    EXPECT_EQ(message, "No default device to adjust.");
    return true;
}

constexpr const char* kNoControls =
    "the default endpoint has no volume control and peak meter pair (Wine 8 activates no peak meter)";

TEST_F(AudioWithServer, VolumeMuteAndPeakOfTheDefaultAnswer) {
    AudioEndpoints endpoints(system);
    for (bool capture : {false, true}) {
        SCOPED_TRACE(capture ? "recording" : "playback");
        if (controlsMissing(system, endpoints, capture)) GTEST_SKIP() << kNoControls;
        const AudioLevel before = endpoints.readLevel(capture);
        ASSERT_TRUE(before.ok);
        EXPECT_GE(before.peak, 0.0f);
        EXPECT_LE(before.peak, 1.0f);

        ASSERT_TRUE(endpoints.setVolume(capture, 0.3f, message)) << message;
        EXPECT_NEAR(endpoints.readLevel(capture).volume, 0.3f, 0.01f);
        ASSERT_TRUE(endpoints.setVolume(capture, 1.7f, message)) << message;
        EXPECT_NEAR(endpoints.readLevel(capture).volume, 1.0f, 0.01f);

        ASSERT_TRUE(endpoints.setMute(capture, true, message)) << message;
        EXPECT_TRUE(endpoints.readLevel(capture).muted);
        ASSERT_TRUE(endpoints.setMute(capture, false, message)) << message;
        EXPECT_FALSE(endpoints.readLevel(capture).muted);

        endpoints.setVolume(capture, before.volume, message);
        endpoints.setMute(capture, before.muted, message);
    }
}

TEST_F(AudioWithServer, TheOpenControlsFollowAChangedDefault) {
    std::vector<AudioEndpointInfo> listed;
    ASSERT_TRUE(system.listEndpoints(AudioFlow::Render, kEndpointActive, listed));
    if (listed.size() < 2) GTEST_SKIP() << "Wine lists one playback endpoint";

    ChosenDefault moved(system);
    AudioEndpoints endpoints(moved);
    moved.chosen = listed[0].id;
    if (controlsMissing(moved, endpoints, false)) GTEST_SKIP() << kNoControls;
    ASSERT_TRUE(endpoints.setVolume(false, 0.2f, message)) << message;
    moved.chosen = listed[1].id;
    ASSERT_TRUE(endpoints.setVolume(false, 0.7f, message)) << message;

    // Each endpoint kept the volume set while it was the default.
    for (const auto& [index, volume] : {std::pair{0, 0.2f}, std::pair{1, 0.7f}}) {
        std::unique_ptr<AudioEndpointControls> controls = system.openControls(listed[index].id);
        ASSERT_TRUE(controls) << listed[index].id;
        float read = -1;
        ASSERT_GE(controls->volume(read), 0); // an HRESULT
        EXPECT_NEAR(read, volume, 0.01f) << listed[index].id;
    }
    EXPECT_NEAR(endpoints.readLevel(false).volume, 0.7f, 0.01f);
}

TEST_F(AudioTest, ADefaultSwitchIsRefusedWithoutAPolicyClass) {
    EXPECT_EQ(system.createPolicyClient(AudioPolicyForm::Windows7), nullptr);
    EXPECT_EQ(system.createPolicyClient(AudioPolicyForm::Vista), nullptr);

    CapturedLog log;
    AudioEndpoints endpoints(system);
    std::vector<DeviceEntry> devices = endpoints.listDevices(DeviceKind::Playback);
    const std::string id = devices.empty() ? "{0.0.0.00000000}.{qv}" : devices[0].id;
    EXPECT_FALSE(endpoints.setDefaultAudio(id, message));
    EXPECT_EQ(message, "Windows refused the device switch (0x00000000).");
    EXPECT_TRUE(log.has("WRN", "setDefaultAudio failed hr=0x00000000 id=" + id));
}

TEST_F(AudioWithoutServer, NothingIsListedAndNothingCanBeAdjusted) {
    AudioEndpoints endpoints(system);
    EXPECT_TRUE(endpoints.listDevices(DeviceKind::Playback).empty());
    EXPECT_TRUE(endpoints.listDevices(DeviceKind::Recording).empty());
    EXPECT_TRUE(endpoints.audioChoices(true).empty());
    std::string id;
    EXPECT_FALSE(system.defaultEndpointId(AudioFlow::Render, id));
    EXPECT_TRUE(id.empty());
    for (bool capture : {false, true}) {
        EXPECT_FALSE(endpoints.readLevel(capture).ok);
        EXPECT_FALSE(endpoints.setVolume(capture, 0.5f, message));
        EXPECT_EQ(message, "No default device to adjust.");
        EXPECT_FALSE(endpoints.setMute(capture, true, message));
        EXPECT_EQ(message, "No default device to adjust.");
    }
}

} // namespace
} // namespace qv
