#pragma once
#include <string>

namespace qv {

// UTF-8 to UTF-16 and back, portable: for names kept in fixed UTF-16 fields
// and for ordering names as Windows does. Malformed input never fails: each
// bad sequence becomes U+FFFD.
std::u16string utf8ToUtf16(const std::string& text);
std::string utf16ToUtf8(const std::u16string& text);

} // namespace qv
