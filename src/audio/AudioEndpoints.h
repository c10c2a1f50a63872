#pragma once
#include "audio/AudioSystem.h"
#include "audio/DeviceEntry.h"

#include <memory>
#include <string>
#include <vector>

namespace qv {

// One selectable playback or recording device.
struct AudioDeviceChoice {
    std::string id;   // endpoint id
    std::string name; // friendly name
    bool isDefault = false;
};

// One sample of the default endpoint's controls; all zero and ok false when
// nothing could be read.
struct AudioLevel {
    bool ok = false;
    float volume = 0; // master volume, 0 to 1
    bool muted = false;
    float peak = 0; // current peak meter value, 0 to 1
};

// The playback and recording endpoints: listing, switching the default, and
// the default endpoint's volume, mute state and peak level. The volume control
// and meter of each flow's default endpoint are kept open between calls and
// reopened when that default changes or they stop being valid (the endpoint
// was removed, the audio service restarted), since the flyout polls the
// level many times a second. User-interface thread only.
class AudioEndpoints {
public:
    explicit AudioEndpoints(AudioSystem& system) : system_(system) {}
    AudioEndpoints(const AudioEndpoints&) = delete;
    AudioEndpoints& operator=(const AudioEndpoints&) = delete;

    // Playback or recording endpoints (enabled, disabled and unplugged), in
    // Windows' order. Cameras are not listed here: empty for that kind.
    std::vector<DeviceEntry> listDevices(DeviceKind kind);

    // The endpoints the user can switch to: enabled and present.
    std::vector<AudioDeviceChoice> audioChoices(bool capture);

    // Makes the endpoint the default for every role.
    bool setDefaultAudio(const std::string& id, std::string& message);

    AudioLevel readLevel(bool capture);
    // Volume is clamped to 0..1.
    bool setVolume(bool capture, float volume, std::string& message);
    bool setMute(bool capture, bool mute, std::string& message);

    // Lets go of the cached volume controls and meters. They are COM objects
    // of the user-interface thread's apartment, so this must run before that
    // apartment is left; the next level read opens them again.
    void releaseControls() { emptyCache(); }

private:
    struct Slot {
        std::string id; // the endpoint the controls belong to; empty with them
        std::unique_ptr<AudioEndpointControls> controls;
    };

    // The flow's default endpoint's controls, from the cache when the default
    // is still the endpoint they were opened for; null when there is none.
    AudioEndpointControls* openDefault(AudioFlow flow);
    // Empties the flow's slot when a call answered that its endpoint is no
    // longer valid, so that the next request opens the default again.
    void dropIfInvalidated(AudioFlow flow, int32_t hr);
    void emptyCache();

    AudioSystem& system_;
    Slot slots_[2]; // render, capture
    std::string defaultId_; // reused by every level read
};

} // namespace qv
