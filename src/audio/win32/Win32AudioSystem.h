#pragma once
#include "audio/AudioSystem.h"

namespace qv {

// Core Audio through COM. COM must be initialised on the calling thread (the
// program does so on its user-interface thread). Every object is created with
// CLSCTX_ALL.
class Win32AudioSystem final : public AudioSystem {
public:
    bool listEndpoints(AudioFlow flow, uint32_t stateMask, std::vector<AudioEndpointInfo>& out) override;
    bool defaultEndpointId(AudioFlow flow, std::string& id) override;
    std::unique_ptr<AudioEndpointControls> openControls(const std::string& id) override;
    std::unique_ptr<AudioPolicyClient> createPolicyClient(AudioPolicyForm form) override;
};

} // namespace qv
