#include "sim/SimAudio.h"

namespace qv::sim {

namespace {

// HRESULTs as Windows answers them, written here from their references and
// not taken from the program: E_INVALIDARG and E_FAIL (Microsoft Learn,
// "Common HRESULT Values"), AUDCLNT_E_DEVICE_INVALIDATED (Microsoft Learn,
// Core Audio "Audio Error Codes").
constexpr int32_t kInvalidArg = static_cast<int32_t>(0x80070057u);
constexpr int32_t kFail = static_cast<int32_t>(0x80004005u);
constexpr int32_t kDeviceInvalidated = static_cast<int32_t>(0x88890004u);
constexpr AudioRole kRoles[] = {AudioRole::Console, AudioRole::Multimedia, AudioRole::Communications};

} // namespace

// Looks its endpoint up by id on every call, so an endpoint removed or
// changed since the controls were opened shows at once. Controls opened
// before the audio service restarted, or of a removed endpoint, answer
// AUDCLNT_E_DEVICE_INVALIDATED to every call, as Core Audio's do.
class SimAudio::Controls final : public AudioEndpointControls {
public:
    Controls(SimAudio& audio, std::string id)
        : audio_(audio), id_(std::move(id)), service_(audio.serviceStarts_) {
        ++audio_.controlsAlive;
    }
    ~Controls() override {
        --audio_.controlsAlive;
        if (audio_.callLog) audio_.callLog->push_back("IAudioEndpointVolume::Release(" + id_ + ")");
    }

    int32_t volume(float& scalar) override {
        SimAudioEndpoint* e = nullptr;
        const int32_t hr = usable(e);
        if (hr == 0) scalar = e->volume;
        return hr;
    }
    int32_t setVolume(float scalar) override {
        SimAudioEndpoint* e = nullptr;
        const int32_t hr = usable(e);
        if (hr != 0) return hr;
        if (scalar < 0 || scalar > 1) return kInvalidArg;
        audio_.volumesSet.push_back(scalar);
        e->volume = scalar;
        return 0;
    }
    int32_t muted(bool& value) override {
        SimAudioEndpoint* e = nullptr;
        const int32_t hr = usable(e);
        if (hr == 0) value = e->muted;
        return hr;
    }
    int32_t setMuted(bool value) override {
        SimAudioEndpoint* e = nullptr;
        const int32_t hr = usable(e);
        if (hr == 0) e->muted = value;
        return hr;
    }
    int32_t peak(float& value) override {
        SimAudioEndpoint* e = live();
        if (!e) return kDeviceInvalidated;
        if (e->peakFails) return kFail;
        value = e->peak;
        return 0;
    }

private:
    SimAudioEndpoint* live() { return service_ == audio_.serviceStarts_ ? audio_.find(id_) : nullptr; }
    int32_t usable(SimAudioEndpoint*& e) {
        e = live();
        if (!e) return kDeviceInvalidated;
        return e->volumeCallsFail ? kFail : 0;
    }

    SimAudio& audio_;
    std::string id_;
    int service_; // the service start the controls were opened under
};

class SimAudio::Policy final : public AudioPolicyClient {
public:
    Policy(SimAudio& audio, AudioPolicyForm form) : audio_(audio), form_(form) {}

    int32_t setDefaultEndpoint(const std::string& id, AudioRole role) override {
        audio_.policyCalls.push_back({form_, id, role});
        auto refused = audio_.refusals.find({form_, role});
        if (refused != audio_.refusals.end()) return refused->second;
        SimAudioEndpoint* e = audio_.find(id);
        if (!e || e->state != kEndpointActive) return kInvalidArg;
        audio_.defaults_[{e->flow, role}] = id;
        return 0;
    }

private:
    SimAudio& audio_;
    AudioPolicyForm form_;
};

SimAudio::SimAudio() = default;
SimAudio::~SimAudio() = default;

SimAudioEndpoint& SimAudio::add(AudioFlow flow, std::string id, std::string name, uint32_t state) {
    auto endpoint = std::make_unique<SimAudioEndpoint>();
    endpoint->flow = flow;
    endpoint->id = std::move(id);
    endpoint->name = std::move(name);
    endpoint->instanceId = "SWD\\MMDEVAPI\\" + endpoint->id;
    endpoint->state = state;
    endpoints_.push_back(std::move(endpoint));
    return *endpoints_.back();
}

void SimAudio::remove(const std::string& id) {
    for (auto& [key, value] : defaults_)
        if (value == id) value.clear();
    for (auto it = endpoints_.begin(); it != endpoints_.end(); ++it) {
        if ((*it)->id != id) continue;
        endpoints_.erase(it);
        return;
    }
}

SimAudioEndpoint* SimAudio::find(const std::string& id) {
    for (auto& e : endpoints_) {
        if (e->id == id) return e.get();
    }
    return nullptr;
}

void SimAudio::setDefault(AudioFlow flow, const std::string& id) {
    for (AudioRole role : kRoles) defaults_[{flow, role}] = id;
}

const std::string& SimAudio::defaultFor(AudioFlow flow, AudioRole role) const {
    static const std::string none;
    auto it = defaults_.find({flow, role});
    return it == defaults_.end() ? none : it->second;
}

bool SimAudio::listEndpoints(AudioFlow flow, uint32_t stateMask, std::vector<AudioEndpointInfo>& out) {
    out.clear();
    if (enumeratorFails) return false;
    for (auto& e : endpoints_) {
        if (e->flow == flow && (e->state & stateMask) != 0) out.push_back({e->id, e->name, e->instanceId, e->state});
    }
    return true;
}

bool SimAudio::defaultEndpointId(AudioFlow flow, std::string& id) {
    id.clear();
    if (enumeratorFails) return false;
    id = defaultFor(flow, AudioRole::Console);
    return !id.empty();
}

std::unique_ptr<AudioEndpointControls> SimAudio::openControls(const std::string& id) {
    SimAudioEndpoint* e = find(id);
    if (!e || e->activationFails) return nullptr;
    ++controlsOpened;
    openedIds.push_back(id);
    return std::make_unique<Controls>(*this, id);
}

std::unique_ptr<AudioPolicyClient> SimAudio::createPolicyClient(AudioPolicyForm form) {
    if (!policyAvailable[static_cast<int>(form)]) return nullptr;
    return std::make_unique<Policy>(*this, form);
}

} // namespace qv::sim
