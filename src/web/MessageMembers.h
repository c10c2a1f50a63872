#pragma once
#include "base/JsonNumbers.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace qv {

// Reads the members of one message, each with its default when missing. A
// member holding another JSON type spoils the message: the caller checks
// ok() after reading and before doing anything.
class MessageMembers {
public:
    using json = nlohmann::json;

    explicit MessageMembers(const json& message) : message_(message) {}

    // A page message: a JSON object whose "type" is a string, which goes to
    // type. Nothing for any other text; such messages are dropped silently.
    static std::optional<json> parse(const std::string& text, std::string& type) {
        json message = json::parse(text, nullptr, false);
        if (message.is_discarded() || !message.is_object()) return std::nullopt;
        auto it = message.find("type");
        if (it == message.end() || !it->is_string()) return std::nullopt;
        type = it->get<std::string>();
        return message;
    }

    std::string text(const char* key, std::string fallback = {}) {
        const json* v = find(key);
        if (!v) return fallback;
        if (!v->is_string()) return spoil(key, std::move(fallback));
        return v->get<std::string>();
    }

    bool flag(const char* key, bool fallback = false) {
        const json* v = find(key);
        if (!v) return fallback;
        if (!v->is_boolean()) return spoil(key, fallback);
        return v->get<bool>();
    }

    float number(const char* key, float fallback = 0) {
        const json* v = find(key);
        if (!v) return fallback;
        if (!v->is_number()) return spoil(key, fallback);
        const double d = v->get<double>();
        if (!std::isfinite(d)) return spoil(key, fallback);
        return static_cast<float>(d);
    }

    // A whole number in 32 signed bits; nothing when missing.
    std::optional<int32_t> optionalInteger(const char* key) {
        const json* v = find(key);
        if (!v) return std::nullopt;
        if (std::optional<int32_t> n = jsonInt32(*v)) return n;
        spoil(key, 0);
        return std::nullopt;
    }

    int32_t integer(const char* key, int32_t fallback = 0) { return optionalInteger(key).value_or(fallback); }

    // A whole number of any size, for values that are clamped afterwards: a
    // page asking for 1e12 previews gets the most there are, not nothing.
    int64_t wholeNumber(const char* key, int64_t fallback = 0) {
        const json* v = find(key);
        if (!v) return fallback;
        if (std::optional<int64_t> n = jsonWholeNumber(*v)) return *n;
        return spoil(key, fallback);
    }

    bool ok() const { return spoiled_ == nullptr; }
    // The first member with the wrong type; the keys are the literals read with.
    const char* spoiled() const { return spoiled_; }

private:
    const json* find(const char* key) const {
        auto it = message_.find(key);
        return it == message_.end() ? nullptr : &*it;
    }

    template <class T>
    T spoil(const char* key, T fallback) {
        if (spoiled_ == nullptr) spoiled_ = key;
        return fallback;
    }

    const json& message_;
    const char* spoiled_ = nullptr;
};

// A document as the page functions take it: compact JSON text with
// non-ASCII characters unescaped; bytes that are not UTF-8 become U+FFFD
// rather than ending the program.
inline std::string compactJson(const nlohmann::json& doc) {
    return doc.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace qv
