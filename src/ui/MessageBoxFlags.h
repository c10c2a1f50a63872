#pragma once
#include <cstdint>

namespace qv {

// The owned message box of the capture sessions: its flags and the answer it
// waits for. winuser.h values, learn.microsoft.com "MessageBox function".
inline constexpr uint32_t kMbYesNo = 0x00000004;
inline constexpr uint32_t kMbIconInformation = 0x00000040;
inline constexpr uint32_t kMbSetForeground = 0x00010000;
inline constexpr int kIdYes = 6;

} // namespace qv
