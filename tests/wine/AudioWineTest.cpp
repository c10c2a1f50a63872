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
#include <memory>
#include <utility>
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

// ---- The policy configuration client, against stand-in classes -------------

// Written from the public PolicyConfig.h declarations (CPolicyConfigClient /
// IPolicyConfig, CPolicyConfigVistaClient / IPolicyConfigVista), not taken from
// the program's header: each form's class, interface and the slot of
// SetDefaultEndpoint.
struct PolicyForm {
    AudioPolicyForm form;
    const wchar_t* classId;
    const wchar_t* interfaceId;
    int slot;
};
const PolicyForm kPolicyForms[] = {
    {AudioPolicyForm::Windows7, L"{870AF99C-171D-4F9E-AF0D-E63DF40C2BC9}", L"{F8679F50-850A-41CF-9C72-430F290290C8}",
     13},
    {AudioPolicyForm::Vista, L"{294935CE-F637-4E7C-A41B-AB255460B862}", L"{568B9108-44BF-40B4-9006-86AFE5B5A620}", 12},
};

GUID guidOf(const wchar_t* text) {
    GUID guid{};
    CLSIDFromString(text, &guid);
    return guid;
}

// What the stand-in objects saw.
struct PolicyCalls {
    std::vector<GUID> interfacesAsked;
    int slot = -1;
    std::wstring endpoint;
    int role = -1;
    int live = 0;
};
PolicyCalls policyCalls;

// A COM object whose table has IUnknown and then 20 slots that each record
// their number and the (PCWSTR, ERole) arguments SetDefaultEndpoint takes.
struct SlotRecorder {
    void** table;
    GUID answers; // besides IUnknown
    ULONG references = 1;
};

HRESULT STDMETHODCALLTYPE recorderQueryInterface(SlotRecorder* self, REFIID iid, void** out) {
    if (!IsEqualIID(iid, IID_IUnknown)) policyCalls.interfacesAsked.push_back(iid);
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, self->answers)) {
        ++self->references;
        *out = self;
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}
ULONG STDMETHODCALLTYPE recorderAddRef(SlotRecorder* self) { return ++self->references; }
ULONG STDMETHODCALLTYPE recorderRelease(SlotRecorder* self) {
    const ULONG left = --self->references;
    if (left == 0) {
        --policyCalls.live;
        delete self;
    }
    return left;
}
template <int Slot>
HRESULT STDMETHODCALLTYPE recordSlot(SlotRecorder*, PCWSTR endpoint, int role) {
    policyCalls.slot = Slot;
    policyCalls.endpoint = endpoint != nullptr ? endpoint : L"";
    policyCalls.role = role;
    return S_OK;
}
template <int... Slots>
void** recorderTable(std::integer_sequence<int, Slots...>) {
    static void* table[] = {reinterpret_cast<void*>(&recorderQueryInterface),
                            reinterpret_cast<void*>(&recorderAddRef), reinterpret_cast<void*>(&recorderRelease),
                            reinterpret_cast<void*>(&recordSlot<Slots + 3>)...};
    return table;
}

// The class factory registered for one form's class: hands out a recorder
// for exactly that form's interface.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class RecorderFactory final : public IClassFactory {
public:
    explicit RecorderFactory(const GUID& interfaceId) : interfaceId_(interfaceId) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        *out = nullptr;
        // COM may ask for IUnknown first and the interface afterwards.
        if (!IsEqualIID(iid, IID_IUnknown)) policyCalls.interfacesAsked.push_back(iid);
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, interfaceId_)) return E_NOINTERFACE;
        auto* recorder = new SlotRecorder{recorderTable(std::make_integer_sequence<int, 20>()), interfaceId_};
        ++policyCalls.live;
        *out = recorder;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    GUID interfaceId_;
};
#pragma GCC diagnostic pop

TEST_F(AudioTest, EachPolicyFormComesFromItsOwnClassAndCallsItsSlot) {
    for (const PolicyForm& form : kPolicyForms) {
        SCOPED_TRACE(form.slot);
        policyCalls = PolicyCalls();
        RecorderFactory factory(guidOf(form.interfaceId));
        DWORD cookie = 0;
        ASSERT_EQ(CoRegisterClassObject(guidOf(form.classId), &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                        &cookie),
                  S_OK);
        {
            std::unique_ptr<AudioPolicyClient> client = system.createPolicyClient(form.form);
            ASSERT_NE(client, nullptr) << "the form asked another class or interface";
            ASSERT_FALSE(policyCalls.interfacesAsked.empty());
            for (const GUID& asked : policyCalls.interfacesAsked)
                EXPECT_TRUE(IsEqualIID(asked, guidOf(form.interfaceId)));
            EXPECT_EQ(client->setDefaultEndpoint("{0.0.0.00000000}.{ab}", AudioRole::Communications), S_OK);
            EXPECT_EQ(policyCalls.slot, form.slot);
            EXPECT_EQ(policyCalls.endpoint, L"{0.0.0.00000000}.{ab}");
            EXPECT_EQ(policyCalls.role, 2); // eCommunications
        }
        EXPECT_EQ(policyCalls.live, 0) << "the client released its object";
        // The other form's class is not registered: that form is refused.
        const AudioPolicyForm other =
            form.form == AudioPolicyForm::Vista ? AudioPolicyForm::Windows7 : AudioPolicyForm::Vista;
        EXPECT_EQ(system.createPolicyClient(other), nullptr);
        CoRevokeClassObject(cookie);
    }
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
