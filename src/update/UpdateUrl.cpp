#include "update/UpdateUrl.h"

#include "settings/Config.h"

#include <cctype>

namespace qv {
namespace {

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool hasSchemePrefix(const std::string& text) {
    // A scheme is a letter, then letters, digits, "+", "-" or ".", then ":".
    if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0]))) return false;
    for (size_t i = 1; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == ':') return true;
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
    }
    return false;
}

uint16_t defaultPort(const std::string& scheme) {
    if (scheme == "https") return 443;
    if (scheme == "http") return 80;
    return 0;
}

} // namespace

std::string updateBaseUrl(const std::string& configured) {
    std::string base = configured.empty() ? std::string(Config::kDefaultUpdateBaseUrl) : configured;
    while (!base.empty() && base.back() == '/') base.pop_back();
    return base;
}

std::string manifestUrl(const std::string& baseUrl, const std::string& channel) {
    return updateBaseUrl(baseUrl) + "/" + (channel.empty() ? std::string("stable") : channel) + ".json";
}

bool parseUrl(const std::string& url, ParsedUrl& out) {
    for (char c : url) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7f) return false;
    }
    if (!hasSchemePrefix(url)) return false;
    const size_t colon = url.find(':');
    if (url.compare(colon, 3, "://") != 0) return false;
    ParsedUrl parsed;
    parsed.scheme = lower(url.substr(0, colon));

    const size_t authorityStart = colon + 3;
    size_t authorityEnd = url.find_first_of("/?#", authorityStart);
    if (authorityEnd == std::string::npos) authorityEnd = url.size();
    const std::string authority = url.substr(authorityStart, authorityEnd - authorityStart);
    if (authority.find('@') != std::string::npos) return false;

    std::string portText;
    bool hasPort = false;
    if (!authority.empty() && authority[0] == '[') {
        const size_t close = authority.find(']');
        if (close == std::string::npos) return false;
        parsed.host = authority.substr(0, close + 1);
        const std::string rest = authority.substr(close + 1);
        if (!rest.empty()) {
            if (rest[0] != ':') return false;
            hasPort = true;
            portText = rest.substr(1);
        }
    } else {
        const size_t portColon = authority.find(':');
        parsed.host = authority.substr(0, portColon);
        if (portColon != std::string::npos) {
            hasPort = true;
            portText = authority.substr(portColon + 1);
        }
    }
    if (parsed.host.empty() || parsed.host == "[]") return false;
    parsed.host = lower(parsed.host);

    parsed.port = defaultPort(parsed.scheme);
    if (hasPort && !portText.empty()) {
        if (portText.size() > 5) return false;
        uint32_t port = 0;
        for (char c : portText) {
            if (!std::isdigit(static_cast<unsigned char>(c))) return false;
            port = port * 10 + static_cast<uint32_t>(c - '0');
        }
        if (port == 0 || port > 65535) return false;
        parsed.port = static_cast<uint16_t>(port);
    }

    std::string path = url.substr(authorityEnd);
    path = path.substr(0, path.find('#'));
    if (path.empty() || path[0] != '/') path = "/" + path;
    parsed.path = path;
    out = parsed;
    return true;
}

std::string urlText(const ParsedUrl& url) {
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on the
    // chained "literal + string" form in the Release build.
    std::string text = url.scheme;
    text.append("://").append(url.host);
    if (url.port != defaultPort(url.scheme)) text.append(":").append(std::to_string(url.port));
    text.append(url.path);
    return text;
}

bool sameOrigin(const ParsedUrl& a, const ParsedUrl& b) {
    return a.scheme == b.scheme && a.host == b.host && a.port == b.port;
}

std::string resolveLocation(const ParsedUrl& from, const std::string& location) {
    if (hasSchemePrefix(location)) return location;
    if (location.rfind("//", 0) == 0) return from.scheme + ":" + location;
    ParsedUrl target = from;
    if (location.empty()) return urlText(target);
    if (location[0] == '/') {
        target.path = location;
    } else if (location[0] == '?') {
        target.path = from.path.substr(0, from.path.find('?')) + location;
    } else {
        const std::string path = from.path.substr(0, from.path.find('?'));
        target.path = path.substr(0, path.rfind('/') + 1) + location;
    }
    target.path = target.path.substr(0, target.path.find('#'));
    return urlText(target);
}

} // namespace qv
