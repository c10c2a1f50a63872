#pragma once
#include <string>
#include <string_view>

#include "base/Printf.h"

namespace qv::log {

enum Level : int { Debug = 0, Info = 1, Warn = 2, Error = 3 };

// Process-wide log. Every line goes to standard error and the debugger output
// (DebugOutput::current()); once open() has been called it also goes to the log
// file (through FileSystem::current()), which is moved to path + ".1" at 1 MiB.
// Safe to call from any thread.
void open(const std::string& pathUtf8);
void write(int level, std::string_view text);
void logf(int level, const char* format, ...) QV_PRINTF(2, 3);

} // namespace qv::log
