#pragma once
#include <windows.h>

#include <cstdint>
#include <vector>

namespace qv {

// Reads a registry value whole, whatever its size: asks for the size first,
// then reads into a buffer of that size, asking again if the value grew in
// between. Returns the Windows error code (ERROR_SUCCESS on success).
LSTATUS readValueData(HKEY key, const wchar_t* name, DWORD& type, std::vector<uint8_t>& data);

} // namespace qv
