#pragma once
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

namespace qv {

// The value of a JSON number that is a whole number: an integer, or a float
// with a whole value (2.0, as hand edits and scripts write them) within the
// range a double holds exactly. Nothing for anything else.
inline std::optional<int64_t> jsonWholeNumber(const nlohmann::json& v) {
    if (v.is_number_unsigned()) {
        const uint64_t u = v.get<uint64_t>();
        if (u > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return std::nullopt;
        return static_cast<int64_t>(u);
    }
    if (v.is_number_integer()) return v.get<int64_t>();
    if (v.is_number_float()) {
        const double d = v.get<double>();
        if (std::trunc(d) == d && d >= -9.0e15 && d <= 9.0e15) return static_cast<int64_t>(d);
    }
    return std::nullopt;
}

// The same, when it also fits 32 signed bits.
inline std::optional<int32_t> jsonInt32(const nlohmann::json& v) {
    const std::optional<int64_t> n = jsonWholeNumber(v);
    if (!n || *n < std::numeric_limits<int32_t>::min() || *n > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return static_cast<int32_t>(*n);
}

} // namespace qv
