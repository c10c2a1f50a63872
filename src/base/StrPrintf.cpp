#include "base/StrPrintf.h"

#include <cstdio>
#include <vector>

namespace qv {

std::string vstrprintf(const char* format, va_list args) {
    char small[256];
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (n < 0) return std::string();
    if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
    std::vector<char> big(static_cast<size_t>(n) + 1);
    std::vsnprintf(big.data(), big.size(), format, args);
    return std::string(big.data(), static_cast<size_t>(n));
}

std::string strprintf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string s = vstrprintf(format, args);
    va_end(args);
    return s;
}

} // namespace qv
