#pragma once
#include "update/HttpClient.h"

namespace qv {

// HttpClient over WinHTTP, with WinHTTP's own redirect following switched
// off: a request that cannot be kept from following redirects is not sent,
// since the caller decides where each hop goes and what it carries.
class Win32HttpClient final : public HttpClient {
public:
    Result send(const Request& request, Response& response, std::unique_ptr<Body>& body) override;
};

} // namespace qv
