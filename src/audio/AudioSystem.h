#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qv {

// The Core Audio data flow of an endpoint.
enum class AudioFlow { Render, Capture };

// The default-device roles Windows keeps per flow.
enum class AudioRole { Console, Multimedia, Communications };

// The two forms of the policy configuration client that can set a default
// endpoint: the one of Windows 7 and later, and the older Vista form.
enum class AudioPolicyForm { Windows7, Vista };

// Endpoint state bits, with Core Audio's values (DEVICE_STATE_XXX in
// mmdeviceapi.h, learn.microsoft.com "DEVICE_STATE_XXX Constants").
constexpr uint32_t kEndpointActive = 0x1;
constexpr uint32_t kEndpointDisabled = 0x2;
constexpr uint32_t kEndpointNotPresent = 0x4;
constexpr uint32_t kEndpointUnplugged = 0x8;

// One endpoint of a collection, as Windows reports it. A field that could not
// be read is empty.
struct AudioEndpointInfo {
    std::string id;         // endpoint id
    std::string name;       // friendly name
    std::string instanceId; // device instance id
    uint32_t state = 0;     // one of the kEndpoint* bits
};

// AUDCLNT_E_DEVICE_INVALIDATED, the answer of every call on an endpoint's
// interfaces once the endpoint is gone or the audio service has restarted;
// checked against Microsoft Learn, Core Audio "Audio Error Codes" (0x88890004).
constexpr int32_t kAudioDeviceInvalidated = static_cast<int32_t>(0x88890004u);

// The volume control and peak meter of one endpoint, opened together and held
// as one object; released on destruction. Every call answers the HRESULT of
// its Core Audio method (negative on failure); once one answers
// kAudioDeviceInvalidated the object is dead for good and must be opened anew.
class AudioEndpointControls {
public:
    virtual ~AudioEndpointControls() = default;
    virtual int32_t volume(float& scalar) = 0; // master volume, 0 to 1
    virtual int32_t setVolume(float scalar) = 0;
    virtual int32_t muted(bool& muted) = 0;
    virtual int32_t setMuted(bool muted) = 0;
    virtual int32_t peak(float& value) = 0;
};

// A policy configuration client of one form; released on destruction.
class AudioPolicyClient {
public:
    virtual ~AudioPolicyClient() = default;
    // Makes the endpoint the default of its flow for one role; the HRESULT.
    virtual int32_t setDefaultEndpoint(const std::string& id, AudioRole role) = 0;
};

// Windows' audio endpoints (Core Audio). Every call creates its own device
// enumerator; calls come from the user-interface thread only.
class AudioSystem {
public:
    virtual ~AudioSystem() = default;

    // The endpoints of a flow whose state is one of stateMask's bits, in
    // Windows' order. False (and nothing listed) when the enumerator or the
    // collection could not be had.
    virtual bool listEndpoints(AudioFlow flow, uint32_t stateMask, std::vector<AudioEndpointInfo>& out) = 0;

    // The id of the flow's default console endpoint, written into `id` (whose
    // buffer is reused). False when there is none or it cannot be read.
    virtual bool defaultEndpointId(AudioFlow flow, std::string& id) = 0;

    // Activates the endpoint's volume control and peak meter; null unless both
    // could be had.
    virtual std::unique_ptr<AudioEndpointControls> openControls(const std::string& id) = 0;

    // A policy configuration client of the given form; null when the object
    // could not be created.
    virtual std::unique_ptr<AudioPolicyClient> createPolicyClient(AudioPolicyForm form) = 0;
};

} // namespace qv
