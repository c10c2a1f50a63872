#pragma once
#include "audio/AudioSystem.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace qv::sim {

// One endpoint of the simulated machine with the state of its controls.
struct SimAudioEndpoint {
    AudioFlow flow = AudioFlow::Render;
    std::string id;
    std::string name;
    std::string instanceId;
    uint32_t state = kEndpointActive;
    float volume = 0.5f;
    bool muted = false;
    float peak = 0;
    bool activationFails = false; // its volume control or meter cannot be activated
    bool volumeCallsFail = false; // reading and setting the volume and mute fail (E_FAIL)
    bool peakFails = false;
};

// One set-default call that reached a policy client.
struct SimPolicyCall {
    AudioPolicyForm form;
    std::string id;
    AudioRole role;
};

// Windows' audio endpoints as the program sees them: endpoints per flow in
// Windows' order, the default of each role, the policy configuration client
// of each form, and a record of the calls that change things.
class SimAudio final : public AudioSystem {
public:
    SimAudio();
    ~SimAudio() override;

    SimAudioEndpoint& add(AudioFlow flow, std::string id, std::string name, uint32_t state = kEndpointActive);
    SimAudioEndpoint* find(const std::string& id);
    // The endpoint is unplugged for good: it leaves the lists and no longer
    // is any role's default.
    void remove(const std::string& id);
    // The audio service restarts: the endpoints and defaults stay, every
    // control opened before is invalidated.
    void restartService() { ++serviceStarts_; }
    // Makes the endpoint the default of every role of its flow ("" for none).
    void setDefault(AudioFlow flow, const std::string& id);
    const std::string& defaultFor(AudioFlow flow, AudioRole role) const;

    bool enumeratorFails = false; // no device enumerator can be created
    // Which forms of the policy configuration client exist.
    bool policyAvailable[2] = {true, true}; // indexed by AudioPolicyForm
    // Roles a form refuses, with the HRESULT it answers.
    std::map<std::pair<AudioPolicyForm, AudioRole>, int32_t> refusals;

    // What reached the system.
    int controlsOpened = 0;
    int controlsAlive = 0;
    std::vector<std::string> openedIds;
    std::vector<SimPolicyCall> policyCalls;
    std::vector<float> volumesSet;
    // When set, the release of an endpoint's controls is written here as
    // "IAudioEndpointVolume::Release(<id>)", so a test can see it among the
    // process's other calls.
    std::vector<std::string>* callLog = nullptr;

    bool listEndpoints(AudioFlow flow, uint32_t stateMask, std::vector<AudioEndpointInfo>& out) override;
    bool defaultEndpointId(AudioFlow flow, std::string& id) override;
    std::unique_ptr<AudioEndpointControls> openControls(const std::string& id) override;
    std::unique_ptr<AudioPolicyClient> createPolicyClient(AudioPolicyForm form) override;

    class Controls;
    class Policy;

private:
    std::vector<std::unique_ptr<SimAudioEndpoint>> endpoints_;
    std::map<std::pair<AudioFlow, AudioRole>, std::string> defaults_;
    int serviceStarts_ = 0;
};

} // namespace qv::sim
