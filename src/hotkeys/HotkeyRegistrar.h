#pragma once
#include <cstdint>

namespace qv {

// The system's global hotkey table. The window is the owner window's handle
// as an opaque 64-bit value (qv::WindowHandle); modifiers are the kMod* flags
// exactly as the system takes them, key is a virtual-key code.
class HotkeyRegistrar {
public:
    virtual ~HotkeyRegistrar() = default;

    // False when the system refuses, typically because the chord is already
    // taken by another program or by an earlier registration.
    virtual bool registerHotkey(std::uint64_t window, std::int32_t id, std::uint32_t modifiers, std::uint32_t vk) = 0;
    virtual bool unregisterHotkey(std::uint64_t window, std::int32_t id) = 0;
};

} // namespace qv
