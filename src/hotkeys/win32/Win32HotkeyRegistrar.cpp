#include "hotkeys/win32/Win32HotkeyRegistrar.h"

#include <windows.h>

#include <cstdint>

namespace qv {

namespace {

HWND toHwnd(std::uint64_t window) {
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(window));
}

} // namespace

bool Win32HotkeyRegistrar::registerHotkey(std::uint64_t window, std::int32_t id, std::uint32_t modifiers,
                                          std::uint32_t vk) {
    return RegisterHotKey(toHwnd(window), id, modifiers, vk) != FALSE;
}

bool Win32HotkeyRegistrar::unregisterHotkey(std::uint64_t window, std::int32_t id) {
    return UnregisterHotKey(toHwnd(window), id) != FALSE;
}

} // namespace qv
