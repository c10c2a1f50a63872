#pragma once
#include "hotkeys/HotkeyRegistrar.h"

namespace qv {

// RegisterHotKey / UnregisterHotKey. The window value is an HWND's bits.
class Win32HotkeyRegistrar final : public HotkeyRegistrar {
public:
    bool registerHotkey(std::uint64_t window, std::int32_t id, std::uint32_t modifiers, std::uint32_t vk) override;
    bool unregisterHotkey(std::uint64_t window, std::int32_t id) override;
};

} // namespace qv
