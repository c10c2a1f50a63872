#include "sim/SimHotkeys.h"

#include "hotkeys/Chord.h"

namespace qv::sim {

std::pair<std::uint32_t, std::uint32_t> SimHotkeys::chordKey(std::uint32_t modifiers, std::uint32_t vk) {
    // MOD_NOREPEAT changes how a held chord repeats, not which chord it is.
    return {modifiers & ~kModNoRepeat, vk};
}

bool SimHotkeys::registerHotkey(std::uint64_t window, std::int32_t id, std::uint32_t modifiers, std::uint32_t vk) {
    bool ok = owners_.emplace(chordKey(modifiers, vk), Owner{false, window, id}).second;
    calls_.push_back({true, window, id, modifiers, vk, ok});
    return ok;
}

bool SimHotkeys::unregisterHotkey(std::uint64_t window, std::int32_t id) {
    bool ok = false;
    for (auto it = owners_.begin(); it != owners_.end(); ++it) {
        if (!it->second.otherProgram && it->second.window == window && it->second.id == id) {
            owners_.erase(it);
            ok = true;
            break;
        }
    }
    calls_.push_back({false, window, id, 0, 0, ok});
    return ok;
}

void SimHotkeys::takeByOtherProgram(std::uint32_t modifiers, std::uint32_t vk) {
    owners_[chordKey(modifiers, vk)] = Owner{true, 0, 0};
}

std::optional<std::pair<std::uint64_t, std::int32_t>> SimHotkeys::press(std::uint32_t modifiers,
                                                                          std::uint32_t vk) const {
    auto it = owners_.find(chordKey(modifiers, vk));
    if (it == owners_.end() || it->second.otherProgram) return std::nullopt;
    return std::make_pair(it->second.window, it->second.id);
}

size_t SimHotkeys::ownedCount() const {
    size_t n = 0;
    for (const auto& entry : owners_)
        if (!entry.second.otherProgram) ++n;
    return n;
}

} // namespace qv::sim
