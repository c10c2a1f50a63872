#pragma once
#include "update/HttpClient.h"
#include "update/UpdateUrl.h"

#include <cstdint>
#include <string>

namespace qv {

class FileSystem;

// Fetches from the update server over the HTTP port, following redirects
// itself so that every request is checked before it is sent:
// * only https URLs are fetched, the first one and every redirect target;
// * the bearer token goes only to the origin of the update base URL;
// * at most kMaxRedirects redirects are followed;
// * a manifest larger than kManifestLimit or a download larger than
//   kDownloadLimit ends the transfer with an error;
// * a body that ends before its Content-Length counts as cut, not complete;
// * a download file is written only from a 2xx answer, and a download that
//   fails or is cut is removed, so no partial installer is left behind.
class UpdateFetcher {
public:
    static constexpr int kMaxRedirects = 5;
    static constexpr int64_t kManifestLimit = int64_t{1} << 20;
    static constexpr int64_t kDownloadLimit = int64_t{512} << 20;

    // baseUrl is the configured update base URL (empty: the default); token
    // is updateToken()'s result, empty for none.
    UpdateFetcher(HttpClient& http, FileSystem& files, const std::string& baseUrl, std::string token);

    // Fetches url; on success appends the body to *body (when given) and
    // writes it to filePath (when non-empty). binary asks for
    // application/octet-stream and allows a download's size; otherwise the
    // answer is a manifest. On failure error says why; it stays empty when
    // the body could not be read to its end.
    bool fetchUrl(const std::string& url, std::string* body, const std::string& filePath, bool binary,
                  std::string& error);

private:
    HttpClient& http_;
    FileSystem& files_;
    ParsedUrl tokenOrigin_;
    bool haveTokenOrigin_ = false;
    std::string token_;
};

} // namespace qv
