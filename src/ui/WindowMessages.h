#pragma once
#include <cstdint>

namespace qv {

// The window messages the tray controller's window tells apart. Kept here, not
// in the controller, so the Win32 tray window can check them against the SDK.
// winuser.h values, learn.microsoft.com "Window Messages", "Window
// Notifications" and the "Keyboard Input" / "Mouse Input" message pages.
inline constexpr uint32_t kWmNull = 0x0000;
inline constexpr uint32_t kWmDestroy = 0x0002;
inline constexpr uint32_t kWmClose = 0x0010;
inline constexpr uint32_t kWmQueryEndSession = 0x0011;
inline constexpr uint32_t kWmEndSession = 0x0016;
inline constexpr uint32_t kWmContextMenu = 0x007B;
// learn.microsoft.com "WM_COPYDATA message".
inline constexpr uint32_t kWmCopyData = 0x004A;
inline constexpr uint32_t kWmDisplayChange = 0x007E;
inline constexpr uint32_t kWmCommand = 0x0111;
// learn.microsoft.com "WM_POWERBROADCAST message" and "PBT_APMSUSPEND event".
inline constexpr uint32_t kWmPowerBroadcast = 0x0218;
inline constexpr uint64_t kPbtApmSuspend = 0x0004;
inline constexpr uint32_t kWmTimer = 0x0113;
inline constexpr uint32_t kWmLButtonUp = 0x0202;
inline constexpr uint32_t kWmRButtonUp = 0x0205;
inline constexpr uint32_t kWmHotkey = 0x0312;

} // namespace qv
