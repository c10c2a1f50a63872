#include "audio/win32/Win32AudioSystem.h"

#include "audio/win32/AudioInterfaces.h"
#include "base/win32/Utf16.h"

#include <windows.h>

#include <audioclient.h>
#include <endpointvolume.h>
#include <mmdeviceapi.h>
#include <objbase.h>
#include <propidl.h>
#include <wrl/client.h>

namespace qv {

using Microsoft::WRL::ComPtr;

namespace {

// PKEY_Device_FriendlyName {A45C254E-DF1C-4EFD-8020-67D146A850E0}, 14
// (Microsoft Learn, "PKEY_Device_FriendlyName").
constexpr PROPERTYKEY kFriendlyName = {{0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 14};
// DEVPKEY_Device_InstanceId {78C34FC8-104A-4ACA-9EA4-524D52996E57}, 256
// (Microsoft Learn, "DEVPKEY_Device_InstanceId").
constexpr PROPERTYKEY kInstanceId = {{0x78c34fc8, 0x104a, 0x4aca, {0x9e, 0xa4, 0x52, 0x4d, 0x52, 0x99, 0x6e, 0x57}}, 256};

EDataFlow dataFlow(AudioFlow flow) { return flow == AudioFlow::Capture ? eCapture : eRender; }

ERole role(AudioRole r) {
    switch (r) {
    case AudioRole::Multimedia: return eMultimedia;
    case AudioRole::Communications: return eCommunications;
    case AudioRole::Console: break;
    }
    return eConsole;
}

ComPtr<IMMDeviceEnumerator> createEnumerator() {
    ComPtr<IMMDeviceEnumerator> enumerator;
    if (FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, IID_PPV_ARGS(&enumerator))))
        enumerator.Reset();
    return enumerator;
}

// Converts into `out`, reusing its buffer; empty when the text cannot be converted.
void narrowInto(const wchar_t* text, std::string& out) {
    out.clear();
    if (!text) return;
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return;
    out.resize(static_cast<size_t>(size));
    if (WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr) != size) {
        out.clear();
        return;
    }
    out.resize(static_cast<size_t>(size - 1)); // without the terminator
}

// The device's id; empty when it cannot be read.
void deviceId(IMMDevice* device, std::string& out) {
    LPWSTR id = nullptr;
    if (SUCCEEDED(device->GetId(&id))) narrowInto(id, out);
    else out.clear();
    CoTaskMemFree(id);
}

// A string property, used only when it is stored as a wide string.
std::string stringProperty(IPropertyStore* store, const PROPERTYKEY& key) {
    std::string text;
    PROPVARIANT value;
    PropVariantInit(&value);
    if (SUCCEEDED(store->GetValue(key, &value)) && value.vt == VT_LPWSTR) narrowInto(value.pwszVal, text);
    PropVariantClear(&value);
    return text;
}

// mingw's declaration, a second source for the value the core compares with.
static_assert(AUDCLNT_E_DEVICE_INVALIDATED == kAudioDeviceInvalidated, "AUDCLNT_E_DEVICE_INVALIDATED");
static_assert(kEndpointActive == DEVICE_STATE_ACTIVE && kEndpointDisabled == DEVICE_STATE_DISABLED);
static_assert(kEndpointNotPresent == DEVICE_STATE_NOTPRESENT && kEndpointUnplugged == DEVICE_STATE_UNPLUGGED);

// Passes each HRESULT on: the core tells an invalidated endpoint from a refusal.
class Controls final : public AudioEndpointControls {
public:
    Controls(ComPtr<IAudioEndpointVolume> volume, ComPtr<audiointerfaces::MeterInformation> meter)
        : volume_(std::move(volume)), meter_(std::move(meter)) {}

    int32_t volume(float& scalar) override { return volume_->GetMasterVolumeLevelScalar(&scalar); }
    int32_t setVolume(float scalar) override { return volume_->SetMasterVolumeLevelScalar(scalar, nullptr); }
    int32_t muted(bool& muted) override {
        BOOL value = FALSE;
        const HRESULT hr = volume_->GetMute(&value);
        if (SUCCEEDED(hr)) muted = value != FALSE;
        return hr;
    }
    int32_t setMuted(bool muted) override { return volume_->SetMute(muted ? TRUE : FALSE, nullptr); }
    int32_t peak(float& value) override { return meter_->GetPeakValue(&value); }

private:
    ComPtr<IAudioEndpointVolume> volume_;
    ComPtr<audiointerfaces::MeterInformation> meter_;
};

template <typename Interface>
class PolicyClient final : public AudioPolicyClient {
public:
    explicit PolicyClient(ComPtr<Interface> client) : client_(std::move(client)) {}

    int32_t setDefaultEndpoint(const std::string& id, AudioRole r) override {
        const std::wstring wide = widen(id);
        return static_cast<int32_t>(client_->SetDefaultEndpoint(wide.c_str(), role(r)));
    }

private:
    ComPtr<Interface> client_;
};

template <typename Interface>
std::unique_ptr<AudioPolicyClient> createPolicy(const CLSID& classId, const IID& iid) {
    ComPtr<Interface> client;
    if (FAILED(CoCreateInstance(classId, nullptr, CLSCTX_ALL, iid,
                                reinterpret_cast<void**>(client.GetAddressOf()))) ||
        !client)
        return nullptr;
    return std::make_unique<PolicyClient<Interface>>(std::move(client));
}

} // namespace

bool Win32AudioSystem::listEndpoints(AudioFlow flow, uint32_t stateMask, std::vector<AudioEndpointInfo>& out) {
    out.clear();
    ComPtr<IMMDeviceEnumerator> enumerator = createEnumerator();
    ComPtr<IMMDeviceCollection> collection;
    UINT count = 0;
    if (!enumerator || FAILED(enumerator->EnumAudioEndpoints(dataFlow(flow), stateMask, &collection)) ||
        FAILED(collection->GetCount(&count)))
        return false;
    out.reserve(count);
    for (UINT i = 0; i < count; ++i) {
        ComPtr<IMMDevice> device;
        if (FAILED(collection->Item(i, &device)) || !device) continue;
        AudioEndpointInfo info;
        deviceId(device.Get(), info.id);
        ComPtr<IPropertyStore> store;
        if (SUCCEEDED(device->OpenPropertyStore(STGM_READ, &store)) && store) {
            info.name = stringProperty(store.Get(), kFriendlyName);
            info.instanceId = stringProperty(store.Get(), kInstanceId);
        }
        DWORD state = 0;
        if (SUCCEEDED(device->GetState(&state))) info.state = state;
        out.push_back(std::move(info));
    }
    return true;
}

bool Win32AudioSystem::defaultEndpointId(AudioFlow flow, std::string& id) {
    id.clear();
    ComPtr<IMMDeviceEnumerator> enumerator = createEnumerator();
    ComPtr<IMMDevice> device;
    if (!enumerator || FAILED(enumerator->GetDefaultAudioEndpoint(dataFlow(flow), eConsole, &device)) || !device)
        return false;
    deviceId(device.Get(), id);
    return !id.empty();
}

std::unique_ptr<AudioEndpointControls> Win32AudioSystem::openControls(const std::string& id) {
    ComPtr<IMMDeviceEnumerator> enumerator = createEnumerator();
    ComPtr<IMMDevice> device;
    const std::wstring wide = widen(id);
    ComPtr<IAudioEndpointVolume> volume;
    ComPtr<audiointerfaces::MeterInformation> meter;
    if (!enumerator || FAILED(enumerator->GetDevice(wide.c_str(), &device)) || !device ||
        FAILED(device->Activate(__uuidof(IAudioEndpointVolume), CLSCTX_ALL, nullptr,
                                reinterpret_cast<void**>(volume.GetAddressOf()))) ||
        !volume ||
        FAILED(device->Activate(audiointerfaces::kMeterInformation, CLSCTX_ALL, nullptr,
                                reinterpret_cast<void**>(meter.GetAddressOf()))) ||
        !meter)
        return nullptr;
    return std::make_unique<Controls>(std::move(volume), std::move(meter));
}

std::unique_ptr<AudioPolicyClient> Win32AudioSystem::createPolicyClient(AudioPolicyForm form) {
    if (form == AudioPolicyForm::Vista)
        return createPolicy<audiointerfaces::VistaClient>(audiointerfaces::kVistaClientClass,
                                                          audiointerfaces::kVistaInterface);
    return createPolicy<audiointerfaces::Windows7Client>(audiointerfaces::kClientClass,
                                                         audiointerfaces::kWindows7Interface);
}

} // namespace qv
