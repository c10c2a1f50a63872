#pragma once
#include <cstdint>

namespace qv {

// A top-level window as the portable code sees it: the HWND's bits as an
// unsigned 64-bit integer, 0 meaning "no window". Win32 code converts with
// reinterpret_cast through uintptr_t.
using WindowHandle = std::uint64_t;

} // namespace qv
