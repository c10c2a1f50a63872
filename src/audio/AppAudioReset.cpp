#include "audio/AppAudioReset.h"

#include "base/Log.h"

#include <string>
#include <vector>

namespace qv {

namespace {

std::string exeNameOf(const std::string& path) {
    const size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// ASCII lower case, byte by byte; other bytes (UTF-8 sequences) stay.
std::string lowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

} // namespace

AppAudioReset::AppAudioReset(Registry& registry) : registry_(registry) {}

AppAudioResetResult AppAudioReset::resetAppAudio(const std::string& imagePath) {
    AppAudioResetResult result;
    const std::string exeName = exeNameOf(imagePath);
    // A path ending in a separator names no executable; its needle would be a
    // lone backslash, which every override contains.
    if (exeName.empty()) {
        result.error = kNoApp;
        return result;
    }
    std::string needle(1, '\\');
    needle += lowerAscii(exeName);

    Registry::Key key = 0;
    const uint32_t access = Registry::kKeyRead | Registry::kKeyCreateSubKey | Registry::kKeySetValue;
    if (registry_.openKey(Registry::Root::CurrentUser, kOverridesKey, access, key) != Registry::kSuccess) {
        result.ok = true;
        return result;
    }

    // Collect first, delete afterwards: deleting while enumerating would shift
    // the indices and skip subkeys.
    std::vector<std::string> matching;
    std::string name;
    for (uint32_t index = 0; registry_.enumSubKey(key, index, name) == Registry::kSuccess; ++index) {
        std::string value;
        if (registry_.getStringValue(key, name, "", value) != Registry::kSuccess) continue;
        if (lowerAscii(value).find(needle) != std::string::npos) matching.push_back(name);
    }
    for (const std::string& subKey : matching)
        if (registry_.deleteTree(key, subKey) == Registry::kSuccess) ++result.removed;
    registry_.closeKey(key);

    if (result.removed > 0) log::logf(log::Info, "Cleared %d audio override(s) for %s", result.removed, imagePath.c_str());
    result.ok = true;
    return result;
}

AppAudioNotice AppAudioReset::resetFrontAppAudio(const std::string& imagePath) {
    if (imagePath.empty())
        return {true, "Nothing to reset", "Couldn't tell which app was in front. Click the app, then reopen this menu."};
    const AppAudioResetResult result = resetAppAudio(imagePath);
    if (!result.ok) return {true, "Couldn't reset app audio", result.error};
    const std::string exeName = exeNameOf(imagePath);
    if (result.removed == 0)
        return {false, "Already on the default",
                exeName + " has no saved device override \u2014 it's already following the system default."};
    return {false, "Audio reset",
            exeName + " will use the system default again. If it's mid-call, restart the call for it to take effect."};
}

} // namespace qv
