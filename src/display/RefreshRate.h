#pragma once
#include <cstdint>
#include <string>

namespace qv {

// A refresh rate exactly as the display configuration reports it: numerator
// over denominator hertz, such as 60000/1001 for 59.94 Hz. Whole hertz cannot
// tell 59.94 Hz from 60 Hz; this can. 0/0 (either part 0) when unknown.
struct RefreshRate {
    uint32_t numerator = 0;
    uint32_t denominator = 0;

    bool known() const { return numerator != 0 && denominator != 0; }

    // The same rate however it is written (60/1, 60000/1000); never for an
    // unknown one.
    bool sameAs(const RefreshRate& other) const {
        return known() && other.known() &&
               uint64_t{numerator} * other.denominator == uint64_t{other.numerator} * denominator;
    }

    // The nearest whole number of hertz; 0 when unknown.
    uint32_t roundedHz() const {
        if (!known())
            return 0;
        return static_cast<uint32_t>((2ull * numerator + denominator) / (2ull * denominator));
    }

    // Hertz with two decimals where the rate is not whole: "59.94", "144".
    std::string text() const {
        if (!known())
            return "?";
        const uint64_t hundredths = (200ull * numerator + denominator) / (2ull * denominator);
        std::string out = std::to_string(hundredths / 100);
        if (hundredths % 100 != 0) {
            const uint64_t rest = hundredths % 100;
            out += (rest < 10 ? ".0" : ".") + std::to_string(rest);
            while (out.back() == '0')
                out.pop_back();
        }
        return out;
    }

    friend bool operator==(const RefreshRate&, const RefreshRate&) = default;
};

} // namespace qv
