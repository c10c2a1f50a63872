// Update URLs and the redirects an update server answers with. The first
// line is the configured base URL, the second a redirect status and its
// Location per later line. A URL that parses writes as text that parses to
// the same parts; a relative Location stays on the server that sent it; and
// the fetch sends only HTTPS requests with URLs that parse, the bearer token
// only to the base URL's own server, and at most the first request and five
// redirects.
#include "FuzzSupport.h"

#include "update/UpdateFetcher.h"
#include "update/UpdateUrl.h"

#include <memory>

using namespace qv;

namespace {

bool sameParts(const ParsedUrl& a, const ParsedUrl& b) {
    return a.scheme == b.scheme && a.host == b.host && a.port == b.port && a.path == b.path;
}

std::string partsText(const ParsedUrl& u) {
    return fuzz::shown(u.scheme) + " | " + fuzz::shown(u.host) + " | " + std::to_string(u.port) + " | " +
           fuzz::shown(u.path);
}

void checkUrl(const std::string& url) {
    ParsedUrl parsed;
    if (!parseUrl(url, parsed)) return;
    const std::string written = urlText(parsed);
    ParsedUrl again;
    QV_FUZZ_CHECK(parseUrl(written, again), fuzz::shown(url) + " -> " + fuzz::shown(written));
    QV_FUZZ_CHECK(sameParts(again, parsed), partsText(parsed) + "\nagain: " + partsText(again));
    QV_FUZZ_CHECK(!parsed.host.empty() && !parsed.path.empty() && parsed.path[0] == '/', partsText(parsed));
}

// A server whose every answer is the next redirect of the script; the
// script's end answers 200 with an empty body.
class RedirectingServer final : public HttpClient {
public:
    struct Hop {
        uint32_t status;
        std::string location;
    };

    RedirectingServer(std::vector<Hop> hops, ParsedUrl tokenOrigin, bool haveOrigin)
        : hops_(std::move(hops)), tokenOrigin_(std::move(tokenOrigin)), haveOrigin_(haveOrigin) {}

    Result send(const Request& request, Response& response, std::unique_ptr<Body>& body) override {
        ++sent;
        QV_FUZZ_CHECK(sent <= 1 + UpdateFetcher::kMaxRedirects, "request " + std::to_string(sent));
        ParsedUrl target;
        QV_FUZZ_CHECK(parseUrl(request.url, target), fuzz::shown(request.url));
        QV_FUZZ_CHECK(target.scheme == "https", fuzz::shown(request.url));
        for (const std::string& header : request.headers) {
            QV_FUZZ_CHECK(header.find_first_of("\r\n") == std::string::npos, fuzz::shown(header));
            if (header.rfind("Authorization:", 0) == 0)
                QV_FUZZ_CHECK(haveOrigin_ && sameOrigin(target, tokenOrigin_), "token sent to " + fuzz::shown(request.url));
        }
        response = Response{};
        if (next_ < hops_.size()) {
            response.status = hops_[next_].status;
            response.location = hops_[next_].location;
            ++next_;
        } else {
            response.status = 200;
            response.contentLength = 0;
        }
        body = std::make_unique<Empty>();
        return Result::Ok;
    }

    int sent = 0;

private:
    class Empty final : public Body {
    public:
        bool read(std::string& piece) override {
            piece.clear();
            return true;
        }
    };

    std::vector<Hop> hops_;
    size_t next_ = 0;
    ParsedUrl tokenOrigin_;
    bool haveOrigin_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> input = fuzz::lines(fuzz::bytes(data, size), 12);
    const std::string configured = input.empty() ? std::string() : input[0];
    for (const std::string& line : input) checkUrl(line);

    // Relative locations, read against the base.
    ParsedUrl from;
    if (parseUrl(updateBaseUrl(configured), from)) {
        for (size_t i = 1; i < input.size(); ++i) {
            const std::string& location = input[i];
            const std::string resolved = resolveLocation(from, location);
            ParsedUrl target;
            const bool relative = location.rfind("//", 0) != 0 && !(parseUrl(location, target));
            if (!relative || !parseUrl(resolved, target)) continue;
            if (location.find(':') != std::string::npos) continue;  // may name a scheme of its own
            QV_FUZZ_CHECK(sameOrigin(target, from),
                          fuzz::shown(location) + " against " + partsText(from) + " -> " + fuzz::shown(resolved));
        }
    }

    std::vector<RedirectingServer::Hop> hops;
    for (size_t i = 1; i < input.size(); ++i) {
        const uint32_t statuses[] = {301, 302, 303, 307, 308, 300, 304, 200, 404};
        const unsigned char pick = input[i].empty() ? 0 : static_cast<unsigned char>(input[i][0]);
        hops.push_back({statuses[pick % 9], input[i].empty() ? std::string() : input[i].substr(1)});
    }
    ParsedUrl origin;
    const bool haveOrigin = parseUrl(updateBaseUrl(configured), origin) && origin.scheme == "https";
    RedirectingServer server(hops, origin, haveOrigin);
    fuzz::Disk disk;
    UpdateFetcher fetcher(server, disk.files, configured, "secret-token");
    std::string body, error;
    const bool ok = fetcher.fetchUrl(manifestUrl(configured, "stable"), &body, std::string(), false, error);
    QV_FUZZ_CHECK(ok == error.empty(), "ok " + std::to_string(ok) + " error " + error);
    return 0;
}
