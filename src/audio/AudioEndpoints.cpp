#include "audio/AudioEndpoints.h"

#include "base/Log.h"
#include "base/StrPrintf.h"

#include <cmath>

namespace qv {

namespace {

constexpr const char* kNoDefault = "No default device to adjust.";

AudioFlow flowOf(bool capture) { return capture ? AudioFlow::Capture : AudioFlow::Render; }

} // namespace

std::vector<DeviceEntry> AudioEndpoints::listDevices(DeviceKind kind) {
    std::vector<DeviceEntry> devices;
    if (kind != DeviceKind::Playback && kind != DeviceKind::Recording) return devices;
    const AudioFlow flow = kind == DeviceKind::Recording ? AudioFlow::Capture : AudioFlow::Render;

    std::vector<AudioEndpointInfo> endpoints;
    if (!system_.listEndpoints(flow, kEndpointActive | kEndpointDisabled | kEndpointUnplugged, endpoints))
        return devices;
    std::string defaultId;
    if (!system_.defaultEndpointId(flow, defaultId)) defaultId.clear();

    devices.reserve(endpoints.size());
    for (AudioEndpointInfo& endpoint : endpoints) {
        if (endpoint.id.empty()) continue;
        DeviceEntry entry;
        entry.isDefault = endpoint.id == defaultId;
        entry.id = std::move(endpoint.id);
        entry.name = std::move(endpoint.name);
        entry.instanceId = std::move(endpoint.instanceId);
        entry.kind = kind;
        entry.enabled = endpoint.state != kEndpointDisabled;
        entry.present = endpoint.state != kEndpointNotPresent;
        devices.push_back(std::move(entry));
    }
    return devices;
}

std::vector<AudioDeviceChoice> AudioEndpoints::audioChoices(bool capture) {
    std::vector<AudioDeviceChoice> choices;
    for (DeviceEntry& device : listDevices(capture ? DeviceKind::Recording : DeviceKind::Playback)) {
        if (!device.enabled || !device.present) continue;
        choices.push_back({std::move(device.id), std::move(device.name), device.isDefault});
    }
    return choices;
}

bool AudioEndpoints::setDefaultAudio(const std::string& id, std::string& message) {
    if (id.empty()) {
        message = "No device selected.";
        return false;
    }
    // The Vista form is the fallback for systems whose client lacks the newer
    // interface or refuses a role through it; every role is set through one
    // form, so a partial switch is retried as a whole. The reported code is the
    // last refusal (a role that went through after it is no reason to report),
    // 0 when no client could be created at all.
    int32_t last = 0;
    bool switched = false;
    for (AudioPolicyForm form : {AudioPolicyForm::Windows7, AudioPolicyForm::Vista}) {
        std::unique_ptr<AudioPolicyClient> client = system_.createPolicyClient(form);
        if (!client) continue;
        bool all = true;
        for (AudioRole role : {AudioRole::Console, AudioRole::Multimedia, AudioRole::Communications}) {
            const int32_t hr = client->setDefaultEndpoint(id, role);
            if (hr < 0) {
                last = hr;
                all = false;
            }
        }
        if (all) {
            switched = true;
            break;
        }
    }
    if (switched) {
        emptyCache();
        return true;
    }
    const unsigned long code = static_cast<uint32_t>(last);
    message = strprintf("Windows refused the device switch (0x%08lX).", code);
    log::logf(log::Warn, "setDefaultAudio failed hr=0x%08lX id=%s", code, id.c_str());
    return false;
}

AudioLevel AudioEndpoints::readLevel(bool capture) {
    AudioLevel level;
    const AudioFlow flow = flowOf(capture);
    AudioEndpointControls* controls = openDefault(flow);
    if (!controls) return level;
    float volume = 0;
    bool muted = false;
    int32_t hr = controls->volume(volume);
    if (hr >= 0) hr = controls->muted(muted);
    if (hr < 0) {
        dropIfInvalidated(flow, hr);
        return level;
    }
    level.volume = volume;
    level.muted = muted;
    float peak = 0;
    hr = controls->peak(peak);
    if (hr >= 0) level.peak = peak;
    else dropIfInvalidated(flow, hr);
    level.ok = true;
    return level;
}

bool AudioEndpoints::setVolume(bool capture, float volume, std::string& message) {
    const AudioFlow flow = flowOf(capture);
    AudioEndpointControls* controls = openDefault(flow);
    if (!controls) {
        message = kNoDefault;
        return false;
    }
    // Not a number has no place on the scale: refused rather than guessed.
    const int32_t hr = std::isnan(volume) ? -1 : controls->setVolume(volume < 0 ? 0.0f : volume > 1 ? 1.0f : volume);
    if (hr < 0) {
        dropIfInvalidated(flow, hr);
        message = "Windows refused the volume change.";
        return false;
    }
    return true;
}

bool AudioEndpoints::setMute(bool capture, bool mute, std::string& message) {
    const AudioFlow flow = flowOf(capture);
    AudioEndpointControls* controls = openDefault(flow);
    if (!controls) {
        message = kNoDefault;
        return false;
    }
    const int32_t hr = controls->setMuted(mute);
    if (hr < 0) {
        dropIfInvalidated(flow, hr);
        message = "Windows refused the mute change.";
        return false;
    }
    return true;
}

AudioEndpointControls* AudioEndpoints::openDefault(AudioFlow flow) {
    if (!system_.defaultEndpointId(flow, defaultId_) || defaultId_.empty()) return nullptr;
    Slot& slot = slots_[flow == AudioFlow::Capture ? 1 : 0];
    if (slot.controls && slot.id == defaultId_) return slot.controls.get();
    slot.controls.reset();
    slot.id = defaultId_;
    slot.controls = system_.openControls(slot.id);
    if (!slot.controls) slot.id.clear();
    return slot.controls.get();
}

void AudioEndpoints::dropIfInvalidated(AudioFlow flow, int32_t hr) {
    // Controls of an endpoint that was removed, or opened before the audio
    // service restarted, answer this to every call from then on; the endpoint
    // id usually stays the same, so the id check alone would keep them.
    if (hr != kAudioDeviceInvalidated) return;
    Slot& slot = slots_[flow == AudioFlow::Capture ? 1 : 0];
    slot.controls.reset();
    slot.id.clear();
}

void AudioEndpoints::emptyCache() {
    for (Slot& slot : slots_) {
        slot.controls.reset();
        slot.id.clear();
    }
}

} // namespace qv
