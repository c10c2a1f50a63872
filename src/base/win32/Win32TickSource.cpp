#include "base/win32/Win32TickSource.h"

#include <windows.h>

namespace qv {

uint64_t Win32TickSource::milliseconds() { return GetTickCount64(); }

} // namespace qv
