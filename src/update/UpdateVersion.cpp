#include "update/UpdateVersion.h"

#include <cctype>
#include <limits>

namespace qv {
namespace {

// strtol's reading of one piece, without its dependence on the width of long
// (32 bits on Windows, 64 here) or on errno.
int32_t pieceNumber(const std::string& piece) {
    size_t i = 0;
    while (i < piece.size() && std::isspace(static_cast<unsigned char>(piece[i]))) ++i;
    bool negative = false;
    if (i < piece.size() && (piece[i] == '+' || piece[i] == '-')) negative = piece[i++] == '-';
    int64_t value = 0;
    bool digits = false;
    for (; i < piece.size() && std::isdigit(static_cast<unsigned char>(piece[i])); ++i) {
        digits = true;
        value = value * 10 + (piece[i] - '0');
        if (value > int64_t{std::numeric_limits<int32_t>::max()} + 1) return 0;
    }
    if (!digits) return 0;
    if (negative) value = -value;
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) return 0;
    return static_cast<int32_t>(value);
}

} // namespace

std::array<int32_t, 3> splitVersion(const std::string& version) {
    std::string rest = version;
    if (!rest.empty() && (rest[0] == 'v' || rest[0] == 'V')) rest.erase(0, 1);
    std::array<int32_t, 3> numbers{0, 0, 0};
    size_t start = 0;
    for (size_t n = 0; n < numbers.size(); ++n) {
        const size_t dot = rest.find('.', start);
        numbers[n] = pieceNumber(rest.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    return numbers;
}

bool isNewerVersion(const std::string& latest, const std::string& current) {
    const std::array<int32_t, 3> a = splitVersion(latest);
    const std::array<int32_t, 3> b = splitVersion(current);
    for (size_t n = 0; n < a.size(); ++n) {
        if (a[n] != b[n]) return a[n] > b[n];
    }
    return false;
}

} // namespace qv
