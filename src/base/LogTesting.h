#pragma once
#include <ctime>
#include <functional>

namespace qv::log {

// Test hooks for the process-wide log.

// Closes the file and forgets the path and byte count, as before the first open.
// Also restores the real clock.
void resetForTests();

// Replaces the local-time source of file lines; an empty function restores the clock.
void setLocalTimeForTests(std::function<std::tm()> now);

} // namespace qv::log
