#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qv {

// One HTTP GET, as WinHTTP makes it. The implementation cracks the URL, opens
// a session with the user agent (automatic proxy), connects, opens the request
// (secure when the scheme is https) with automatic redirects switched off,
// adds the headers, sends, receives and reads the status, Location and
// Content-Length. It follows no redirect and applies no rule of its own: the
// update fetch decides where each request goes and what it carries.
class HttpClient {
public:
    // Which step failed; each has its own message in the update fetch.
    enum class Result {
        Ok,
        BadUrl,        // WinHttpCrackUrl
        OpenFailed,    // WinHttpOpen
        ConnectFailed, // WinHttpConnect or WinHttpOpenRequest
        SendFailed,    // WinHttpSendRequest or WinHttpReceiveResponse
    };

    struct Request {
        std::string url;                  // absolute
        std::string userAgent;
        std::vector<std::string> headers; // each "Name: value", without a line end
    };

    struct Response {
        uint32_t status = 0;
        std::string location;       // the Location header, empty when absent
        int64_t contentLength = -1; // the Content-Length header, -1 when absent
    };

    // The body of a response, read in pieces of at most 16,384 bytes
    // (WinHttpQueryDataAvailable, WinHttpReadData). Destroying it closes the
    // request, the connection and the session, whether or not it was read.
    class Body {
    public:
        virtual ~Body() = default;
        // The next piece; an empty piece means the body is complete. False when
        // reading failed.
        virtual bool read(std::string& piece) = 0;
    };

    virtual ~HttpClient() = default;

    // Sends the request. On Ok, response is filled and body is the response's
    // body, not yet read; on any other result every handle is closed.
    virtual Result send(const Request& request, Response& response, std::unique_ptr<Body>& body) = 0;
};

} // namespace qv
