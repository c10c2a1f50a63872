#pragma once
#include <string>

namespace qv {

// RegisterWindowMessageW, asked once per name and process; later calls
// answer from the cache. Safe from any thread.
unsigned int registeredMessage(const std::string& name);

} // namespace qv
