#pragma once
#include <string>
#include <vector>

namespace qv {

// The process's command line split by CommandLineToArgvW, without the
// program name, each argument in UTF-8.
std::vector<std::string> processArguments();

} // namespace qv
