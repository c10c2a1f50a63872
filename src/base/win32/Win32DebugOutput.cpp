#include "base/win32/Win32DebugOutput.h"

#include <windows.h>

namespace qv {

void Win32DebugOutput::write(const std::string& text) { OutputDebugStringA(text.c_str()); }

} // namespace qv
