#pragma once
#include <cstdint>
#include <string>

namespace qv {

// The update base URL that a check uses: the configured one, or the default
// when it is empty, without its trailing slashes.
std::string updateBaseUrl(const std::string& configured);

// Where the manifest of a channel lies: the base (as updateBaseUrl makes it)
// + "/" + channel + ".json"; an empty channel means "stable".
std::string manifestUrl(const std::string& baseUrl, const std::string& channel);

// An absolute URL taken apart as far as the update fetch needs: which server
// a request goes to (its origin) and what it asks for there.
struct ParsedUrl {
    std::string scheme; // lower case, without "://"
    std::string host;   // lower case; an IPv6 address keeps its brackets
    uint16_t port = 0;  // the given port, or the scheme's default (https 443, http 80)
    std::string path;   // from the first "/" on, query included, fragment dropped; "/" when empty
};

// Parses scheme://host[:port][/path][?query][#fragment]. False for anything
// else: no scheme, an empty host, a bad port, user information before the
// host (it would only hide the real host from a reader), or spaces and
// control characters anywhere (they would end up in the request).
bool parseUrl(const std::string& url, ParsedUrl& out);

// The URL a parsed URL stands for, as sent to the HTTP port.
std::string urlText(const ParsedUrl& url);

// Same scheme, host and port.
bool sameOrigin(const ParsedUrl& a, const ParsedUrl& b);

// The absolute URL that a redirect's Location names, read against the URL
// that answered: absolute URLs stand as they are, "//host/..." takes the
// scheme, "/path" the origin, and anything else the folder of the path.
std::string resolveLocation(const ParsedUrl& from, const std::string& location);

} // namespace qv
