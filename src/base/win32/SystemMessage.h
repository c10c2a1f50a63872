#pragma once
#include <cstdint>
#include <string>

namespace qv {

// The system's message for a Windows error code in the user's language, as
// UTF-8 (read as UTF-16, so non-English texts survive); empty when the
// message table has none. Trailing line ends are left as Windows gives them.
std::string systemMessage(uint32_t code);

// The message as one line for logs and notices: trailing line ends, full
// stops and spaces removed, the code appended, e.g.
// "The process cannot access the file because it is being used by another process (0x20)".
std::string errorDescription(uint32_t code);

} // namespace qv
