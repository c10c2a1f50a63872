#pragma once
#include <cstdarg>
#include <string>

#include "base/Printf.h"

namespace qv {

// printf-style formatting into a std::string. The program's message texts are
// printf formats, so this one helper serves all of them.
std::string strprintf(const char* format, ...) QV_PRINTF(1, 2);
std::string vstrprintf(const char* format, va_list args);

} // namespace qv
