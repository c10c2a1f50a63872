#pragma once
#include <cstdint>

namespace qv {

// The virtual-key codes a chord's key names stand for. Letters and digits are
// their upper-case ASCII codes and need no names; F1 to F24 and the keypad
// digits run on from the first of them. winuser.h values, learn.microsoft.com
// "Virtual-Key Codes".
inline constexpr std::uint32_t kVkTab = 0x09;
inline constexpr std::uint32_t kVkReturn = 0x0D;
inline constexpr std::uint32_t kVkEscape = 0x1B;
inline constexpr std::uint32_t kVkSpace = 0x20;
inline constexpr std::uint32_t kVkPrior = 0x21; // Page Up
inline constexpr std::uint32_t kVkNext = 0x22;  // Page Down
inline constexpr std::uint32_t kVkEnd = 0x23;
inline constexpr std::uint32_t kVkHome = 0x24;
inline constexpr std::uint32_t kVkLeft = 0x25;
inline constexpr std::uint32_t kVkUp = 0x26;
inline constexpr std::uint32_t kVkRight = 0x27;
inline constexpr std::uint32_t kVkDown = 0x28;
inline constexpr std::uint32_t kVkInsert = 0x2D;
inline constexpr std::uint32_t kVkDelete = 0x2E;
inline constexpr std::uint32_t kVkNumpad0 = 0x60;
inline constexpr std::uint32_t kVkF1 = 0x70;

} // namespace qv
