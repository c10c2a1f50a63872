#include "update/ManifestSignature.h"

#include <cstddef>

namespace qv {

namespace {

bool isJsonSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

size_t skipSpace(const std::string& text, size_t at) {
    while (at < text.size() && isJsonSpace(text[at])) ++at;
    return at;
}

// The index after the string that starts with the quote at `at`; npos when
// it does not end.
size_t endOfString(const std::string& text, size_t at) {
    for (size_t i = at + 1; i < text.size(); ++i) {
        if (text[i] == '\\') {
            ++i;
        } else if (text[i] == '"') {
            return i + 1;
        }
    }
    return std::string::npos;
}

// The index after the value that starts at `at`. Only strings and nesting are
// followed exactly; the JSON parser judges the rest of the signed bytes.
size_t endOfValue(const std::string& text, size_t at) {
    if (at >= text.size()) return std::string::npos;
    if (text[at] == '"') return endOfString(text, at);
    if (text[at] == '{' || text[at] == '[') {
        int depth = 0;
        for (size_t i = at; i < text.size(); ++i) {
            const char c = text[i];
            if (c == '"') {
                i = endOfString(text, i);
                if (i == std::string::npos) return i;
                --i;
            } else if (c == '{' || c == '[') {
                ++depth;
            } else if (c == '}' || c == ']') {
                if (--depth == 0) return i + 1;
            }
        }
        return std::string::npos;
    }
    size_t i = at;
    while (i < text.size() && !isJsonSpace(text[i]) && text[i] != ',' && text[i] != '}' && text[i] != ']') ++i;
    return i == at ? std::string::npos : i;
}

int base64Digit(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// Standard base64 with padding, nothing else.
bool decodeBase64(const std::string& text, std::vector<uint8_t>& bytes) {
    bytes.clear();
    if (text.empty() || text.size() % 4 != 0) return false;
    size_t padding = 0;
    if (text.back() == '=') padding = text[text.size() - 2] == '=' ? 2 : 1;
    for (size_t i = 0; i < text.size(); i += 4) {
        uint32_t group = 0;
        for (size_t j = 0; j < 4; ++j) {
            const char c = text[i + j];
            const bool padded = i + 4 == text.size() && j >= 4 - padding;
            const int digit = padded ? (c == '=' ? 0 : -1) : base64Digit(c);
            if (digit < 0) return false;
            group = (group << 6) | static_cast<uint32_t>(digit);
        }
        const size_t count = i + 4 == text.size() ? 3 - padding : 3;
        for (size_t j = 0; j < count; ++j) bytes.push_back(static_cast<uint8_t>(group >> (16 - 8 * j)));
    }
    return true;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

bool parsePublicKeyHex(const std::string& hex, PublicKeyP256& key) {
    if (hex.size() != key.size() * 2) return false;
    for (size_t i = 0; i < key.size(); ++i) {
        const int high = hexDigit(hex[2 * i]);
        const int low = hexDigit(hex[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        key[i] = static_cast<uint8_t>(high * 16 + low);
    }
    return true;
}

namespace {

bool splitMembers(const std::string& text, std::string& signedBytes, std::vector<uint8_t>& signature) {
    signedBytes.clear();
    signature.clear();
    size_t at = skipSpace(text, 0);
    if (at >= text.size() || text[at] != '{') return false;
    ++at;
    size_t previousEnd = at;  // after the '{' or the previous member's value
    size_t cutFrom = std::string::npos;
    size_t cutTo = 0;
    bool first = true;
    for (;;) {
        at = skipSpace(text, at);
        if (first && at < text.size() && text[at] == '}') break;
        if (at >= text.size() || text[at] != '"') return false;
        const size_t keyEnd = endOfString(text, at);
        if (keyEnd == std::string::npos) return false;
        const bool isSignature = text.compare(at, keyEnd - at, "\"signature\"") == 0;
        at = skipSpace(text, keyEnd);
        if (at >= text.size() || text[at] != ':') return false;
        const size_t valueStart = skipSpace(text, at + 1);
        const size_t valueEnd = endOfValue(text, valueStart);
        if (valueEnd == std::string::npos) return false;
        at = skipSpace(text, valueEnd);
        const bool more = at < text.size() && text[at] == ',';
        if (isSignature) {
            if (cutFrom != std::string::npos || text[valueStart] != '"') return false;
            if (!decodeBase64(text.substr(valueStart + 1, valueEnd - valueStart - 2), signature) ||
                signature.size() != 64)
                return false;
            cutFrom = previousEnd;
            // Leading: the comma after it goes with it; otherwise the one
            // before it does, and previousEnd is already before that one.
            cutTo = first && more ? at + 1 : valueEnd;
        }
        previousEnd = valueEnd;
        first = false;
        if (more) {
            ++at;
            continue;
        }
        if (at >= text.size() || text[at] != '}') return false;
        break;
    }
    ++at;
    if (skipSpace(text, at) != text.size() || cutFrom == std::string::npos) {
        signature.clear();
        return false;
    }
    signedBytes = text.substr(0, cutFrom) + text.substr(cutTo);
    return true;
}

} // namespace

bool splitSignedManifest(const std::string& text, std::string& signedBytes, std::vector<uint8_t>& signature) {
    if (splitMembers(text, signedBytes, signature)) return true;
    // A signature decoded before the text turned out to be refused (or the
    // part of one a bad base64 digit ended) is not handed on.
    signedBytes.clear();
    signature.clear();
    return false;
}

bool verifyManifest(const std::string& text, SignatureVerifier& verifier, const PublicKeyP256& key,
                    std::string& signedBytes) {
    std::vector<uint8_t> signature;
    if (splitSignedManifest(text, signedBytes, signature) && verifier.verifyP256Sha256(signedBytes, signature, key))
        return true;
    signedBytes.clear();
    return false;
}

} // namespace qv
