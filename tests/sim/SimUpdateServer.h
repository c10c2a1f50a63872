#pragma once
#include "update/HttpClient.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace qv::sim {

// An update server behind the HTTP port: each URL has a reply (any other URL
// answers 404), and every request is recorded with its headers so a test can
// see which hop carried what. Bodies arrive in pieces of 16,384 bytes.
class SimUpdateServer final : public HttpClient {
public:
    struct Reply {
        Result result = Result::Ok;  // a failing step instead of an answer
        uint32_t status = 200;
        std::string location;
        std::string body;
        int64_t contentLength = -1;  // the Content-Length header, -1 for none
        int64_t generatedBytes = -1; // instead of body: this many "x" bytes, made while read
        int64_t failReadAfter = -1;  // reading fails once this many bytes were delivered
    };

    struct Call {
        std::string url;
        std::string userAgent;
        std::vector<std::string> headers;
        bool bodyClosed = false; // the body was destroyed (its handles closed)
        // The value of the named header, or "(none)".
        std::string header(const std::string& name) const;
    };

    void serve(const std::string& url, Reply reply);
    // Shorthands: a 200 answer with this body; a redirect to location.
    void serveBody(const std::string& url, const std::string& body);
    void redirect(const std::string& url, const std::string& location, uint32_t status = 302);

    std::vector<Call> calls() const;
    std::vector<std::string> urls() const;

    Result send(const Request& request, Response& response, std::unique_ptr<Body>& body) override;

private:
    class SimBody;
    mutable std::mutex mutex_;
    std::map<std::string, Reply> replies_;
    std::vector<Call> calls_;
};

} // namespace qv::sim
