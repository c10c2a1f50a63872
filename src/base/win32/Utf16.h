#pragma once
#include <string>
#include <string_view>

namespace qv {

// UTF-8 inside the program, UTF-16 at every Windows call.
std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);

} // namespace qv
