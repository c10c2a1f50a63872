#include "hotkeys/win32/Win32HotkeyRegistrar.h"

#include "hotkeys/Chord.h"
#include "hotkeys/VirtualKeys.h"

#include <windows.h>

#include <cstdint>

namespace qv {

// mingw's winuser.h, a second source for the modifier flags and key codes the
// chords are read into.
static_assert(kModAlt == MOD_ALT && kModControl == MOD_CONTROL && kModShift == MOD_SHIFT && kModWin == MOD_WIN);
static_assert(kModNoRepeat == MOD_NOREPEAT);
static_assert(kVkTab == VK_TAB && kVkReturn == VK_RETURN && kVkEscape == VK_ESCAPE && kVkSpace == VK_SPACE);
static_assert(kVkPrior == VK_PRIOR && kVkNext == VK_NEXT && kVkEnd == VK_END && kVkHome == VK_HOME);
static_assert(kVkLeft == VK_LEFT && kVkUp == VK_UP && kVkRight == VK_RIGHT && kVkDown == VK_DOWN);
static_assert(kVkInsert == VK_INSERT && kVkDelete == VK_DELETE);
static_assert(kVkNumpad0 == VK_NUMPAD0 && kVkNumpad0 + 9 == VK_NUMPAD9);
static_assert(kVkF1 == VK_F1 && kVkF1 + 23 == VK_F24);

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
