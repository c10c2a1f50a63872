#include "sim/SimAudio.h"

namespace qv::sim {

namespace {

constexpr int32_t kInvalidArg = static_cast<int32_t>(0x80070057);
constexpr AudioRole kRoles[] = {AudioRole::Console, AudioRole::Multimedia, AudioRole::Communications};

} // namespace

// Looks its endpoint up by id on every call, so an endpoint removed or
// changed since the controls were opened shows at once.
class SimAudio::Controls final : public AudioEndpointControls {
public:
    Controls(SimAudio& audio, std::string id) : audio_(audio), id_(std::move(id)) { ++audio_.controlsAlive; }
    ~Controls() override {
        --audio_.controlsAlive;
        if (audio_.callLog) audio_.callLog->push_back("IAudioEndpointVolume::Release(" + id_ + ")");
    }

    bool volume(float& scalar) override {
        SimAudioEndpoint* e = usable();
        if (!e) return false;
        scalar = e->volume;
        return true;
    }
    bool setVolume(float scalar) override {
        SimAudioEndpoint* e = usable();
        if (!e || scalar < 0 || scalar > 1) return false;
        audio_.volumesSet.push_back(scalar);
        e->volume = scalar;
        return true;
    }
    bool muted(bool& value) override {
        SimAudioEndpoint* e = usable();
        if (!e) return false;
        value = e->muted;
        return true;
    }
    bool setMuted(bool value) override {
        SimAudioEndpoint* e = usable();
        if (!e) return false;
        e->muted = value;
        return true;
    }
    bool peak(float& value) override {
        SimAudioEndpoint* e = audio_.find(id_);
        if (!e || e->peakFails) return false;
        value = e->peak;
        return true;
    }

private:
    SimAudioEndpoint* usable() {
        SimAudioEndpoint* e = audio_.find(id_);
        return e && !e->volumeCallsFail ? e : nullptr;
    }

    SimAudio& audio_;
    std::string id_;
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
