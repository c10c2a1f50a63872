#pragma once
#include "base/Registry.h"

#include <cstdint>
#include <string>

namespace qv {

// What resetAppAudio did.
struct AppAudioResetResult {
    bool ok = false;
    int32_t removed = 0; // overrides deleted
    std::string error;   // why it failed; empty on success
};

// The notification the flyout's reset command ends with.
struct AppAudioNotice {
    bool warning = false; // warning style; otherwise information style
    std::string title;
    std::string text;
};

// Removes the per-app audio device overrides Windows keeps for an
// application, so that it follows the system default devices again.
//
// Windows keeps one subkey per override under kOverridesKey in the current
// user's registry; the subkey's default value (a string) contains, among
// other things, the application's executable path. An override belongs to
// the application when that value contains a backslash followed by the
// executable's file name, compared without regard to ASCII case: every copy
// of the same executable name matches, whatever folder it runs from, while
// a.exe does not match ba.exe.
class AppAudioReset {
public:
    static constexpr const char* kOverridesKey =
        "Software\\Microsoft\\Internet Explorer\\LowRegistry\\Audio\\PolicyConfig\\PropertyStore";
    static constexpr const char* kNoApp = "Couldn't tell which app is in front.";

    explicit AppAudioReset(Registry& registry);

    // Deletes every override of the executable of that image path. A missing
    // or unopenable key is success with 0 removed; unreadable values are
    // skipped; a failed deletion is not counted and the others still go.
    // Logs "Cleared %d audio override(s) for %s" when at least one went.
    AppAudioResetResult resetAppAudio(const std::string& imagePath);

    // The flyout's reset of the application that was in front when it
    // opened (its image path, empty when unknown), turned into the notice
    // to show.
    AppAudioNotice resetFrontAppAudio(const std::string& imagePath);

private:
    Registry& registry_;
};

} // namespace qv
