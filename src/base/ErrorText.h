#pragma once
#include <cstdint>
#include <string>

namespace qv {

// A Windows error as one line: the system's message (or "unknown error"
// when there is none) without its trailing line ends, full stops and spaces,
// followed by the code, e.g. "The parameter is incorrect (0x57)".
std::string errorLine(std::string systemMessage, uint32_t code);

} // namespace qv
