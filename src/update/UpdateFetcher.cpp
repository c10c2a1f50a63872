#include "update/UpdateFetcher.h"

#include "base/FileSystem.h"
#include "base/StrPrintf.h"
#include "base/Version.h"
#include "update/UpdateEnvironment.h"

#include <memory>

namespace qv {
namespace {

bool isRedirect(uint32_t status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::string httpStatusError(uint32_t status) { return strprintf("HTTP %u from update server", status); }

bool usableToken(const std::string& value) {
    if (value.empty() || value.size() > 511) return false;
    for (char c : value) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) return false;
    }
    return true;
}

} // namespace

std::string updateToken(UpdateEnvironment& environment) {
    for (const char* name : {"QUORVANE_GH_TOKEN", "GITHUB_TOKEN"}) {
        std::string value;
        if (environment.variable(name, value) && usableToken(value)) return value;
    }
    return std::string();
}

UpdateFetcher::UpdateFetcher(HttpClient& http, FileSystem& files, const std::string& baseUrl, std::string token)
    : http_(http), files_(files), token_(std::move(token)) {
    ParsedUrl base;
    if (parseUrl(updateBaseUrl(baseUrl), base) && base.scheme == "https") {
        tokenOrigin_ = base;
        haveTokenOrigin_ = true;
    }
}

bool UpdateFetcher::fetchUrl(const std::string& url, std::string* body, const std::string& filePath, bool binary,
                             std::string& error) {
    error.clear();
    const int64_t limit = binary ? kDownloadLimit : kManifestLimit;
    std::string next = url;
    for (int hop = 0;; ++hop) {
        ParsedUrl target;
        if (!parseUrl(next, target)) {
            error = "Bad update URL";
            return false;
        }
        if (target.scheme != "https") {
            error = "Update URL must use HTTPS";
            return false;
        }

        HttpClient::Request request;
        request.url = urlText(target);
        request.userAgent = std::string("Quorvane/") + kVersion;
        request.headers.push_back(binary ? "Accept: application/octet-stream" : "Accept: application/vnd.github+json");
        if (!token_.empty() && haveTokenOrigin_ && sameOrigin(target, tokenOrigin_))
            request.headers.push_back("Authorization: Bearer " + token_);

        HttpClient::Response response;
        std::unique_ptr<HttpClient::Body> reader;
        switch (http_.send(request, response, reader)) {
        case HttpClient::Result::Ok: break;
        case HttpClient::Result::BadUrl: error = "Bad update URL"; return false;
        case HttpClient::Result::OpenFailed: error = "WinHttpOpen failed"; return false;
        case HttpClient::Result::ConnectFailed: error = "Could not open update connection"; return false;
        case HttpClient::Result::SendFailed: error = "Network request failed"; return false;
        }
        if (!reader) {
            error = "Network request failed";
            return false;
        }

        if (isRedirect(response.status) && !response.location.empty()) {
            if (hop == kMaxRedirects) {
                error = "Too many redirects from update server";
                return false;
            }
            next = resolveLocation(target, response.location);
            continue;
        }
        if (response.status < 200 || response.status > 299) {
            error = httpStatusError(response.status);
            return false;
        }
        if (response.contentLength > limit) {
            error = "Update server response is too large";
            return false;
        }

        std::unique_ptr<FileSystem::File> file;
        const bool toFile = !filePath.empty();
        if (toFile) {
            file = files_.openWrite(filePath);
            if (!file) {
                error = "Cannot write download file";
                return false;
            }
        }
        // Ends a failed download: the file is closed and removed, so no
        // partial installer stays where the install step would pick it up.
        const auto fail = [&](std::string message) {
            error = std::move(message);
            if (toFile) {
                if (file) file->close();
                file.reset();
                files_.removeFile(filePath);
            }
            return false;
        };

        std::string received;
        int64_t total = 0;
        for (;;) {
            std::string piece;
            if (!reader->read(piece)) return fail(std::string());
            if (piece.empty()) break;
            total += static_cast<int64_t>(piece.size());
            if (total > limit) return fail("Update server response is too large");
            if (file && file->write(piece) != static_cast<int64_t>(piece.size()))
                return fail("Cannot write download file");
            if (body) received += piece;
        }
        // A connection that closes early can look like the end of the body;
        // a body shorter than its Content-Length is cut, not complete.
        if (response.contentLength >= 0 && total != response.contentLength) return fail(std::string());
        if (file) {
            const bool closed = file->close();
            file.reset();
            if (!closed) return fail("Cannot write download file");
        }
        if (body) *body += received;
        return true;
    }
}

} // namespace qv
