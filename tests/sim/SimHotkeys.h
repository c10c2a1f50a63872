#pragma once
#include "hotkeys/HotkeyRegistrar.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qv::sim {

// The system-wide hotkey table of the simulated desktop. A chord (modifiers
// without MOD_NOREPEAT, plus key) has at most one owner; another program can
// hold chords too, and registering an owned chord fails. Every call is recorded.
class SimHotkeys final : public HotkeyRegistrar {
public:
    struct Call {
        bool registering = true; // false: unregister
        std::uint64_t window = 0;
        std::int32_t id = 0;
        std::uint32_t modifiers = 0; // as passed (register only)
        std::uint32_t vk = 0;        // register only
        bool result = false;
    };

    bool registerHotkey(std::uint64_t window, std::int32_t id, std::uint32_t modifiers, std::uint32_t vk) override;
    bool unregisterHotkey(std::uint64_t window, std::int32_t id) override;

    // Another program takes the chord.
    void takeByOtherProgram(std::uint32_t modifiers, std::uint32_t vk);

    // The (window, id) a press of the chord goes to; nothing when the chord is
    // free or held by another program.
    std::optional<std::pair<std::uint64_t, std::int32_t>> press(std::uint32_t modifiers, std::uint32_t vk) const;

    // Number of chords this program holds (other programs' chords excluded).
    size_t ownedCount() const;

    const std::vector<Call>& calls() const { return calls_; }
    void clearCalls() { calls_.clear(); }

private:
    struct Owner {
        bool otherProgram = false;
        std::uint64_t window = 0;
        std::int32_t id = 0;
    };
    static std::pair<std::uint32_t, std::uint32_t> chordKey(std::uint32_t modifiers, std::uint32_t vk);

    std::map<std::pair<std::uint32_t, std::uint32_t>, Owner> owners_;
    std::vector<Call> calls_;
};

} // namespace qv::sim
