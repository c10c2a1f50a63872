#include "base/ErrorText.h"

#include "base/StrPrintf.h"

namespace qv {

std::string errorLine(std::string text, uint32_t code) {
    if (text.empty()) text = "unknown error";
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == '.' || text.back() == ' '))
        text.pop_back();
    return text + strprintf(" (0x%lX)", static_cast<unsigned long>(code));
}

} // namespace qv
