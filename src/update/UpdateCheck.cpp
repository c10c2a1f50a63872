#include "update/UpdateCheck.h"

#include "base/Log.h"
#include "base/Version.h"
#include "update/ManifestSignature.h"
#include "update/UpdateFetcher.h"
#include "update/UpdateUrl.h"
#include "update/UpdateVersion.h"

#include <nlohmann/json.hpp>

namespace qv {

bool readManifest(const std::string& body, UpdateInfo& info) {
    try {
        const nlohmann::json doc = nlohmann::json::parse(body);
        // value() throws for a top level that is not an object and for a
        // member that is present but not a string (null included).
        info.latest = doc.value("version", std::string());
        info.url = doc.value("url", std::string());
        info.sha256 = doc.value("sha256", std::string());
        info.notes = doc.value("notes", std::string());
    } catch (const std::exception& e) {
        info.latest.clear();
        info.url.clear();
        info.sha256.clear();
        info.notes.clear();
        info.error = std::string("Could not parse update manifest: ") + e.what();
        return false;
    }
    if (info.latest.empty() || info.url.empty()) {
        info.error = "Update manifest is missing version/url";
        return false;
    }
    return true;
}

UpdateInfo checkForUpdate(UpdateFetcher& fetcher, SignatureVerifier& verifier, const std::string& baseUrl,
                          const std::string& channel) {
    UpdateInfo info;
    info.current = kVersion;
    info.channel = channel.empty() ? std::string("stable") : channel;

    std::string body;
    if (!fetcher.fetchUrl(manifestUrl(baseUrl, info.channel), &body, std::string(), false, info.error)) {
        if (info.error.empty()) info.error = "Update check failed";
        log::write(log::Warn, "Update check: " + info.error);
        return info;
    }
    // A body that is no manifest at all (a proxy's error page) says so;
    // nothing it holds is used before the signature is checked.
    if (!readManifest(body, info)) return info;
    std::string signedBytes;
    if (!verifyManifest(body, verifier, updatePublicKey(), signedBytes) || !readManifest(signedBytes, info)) {
        info = UpdateInfo{};
        info.current = kVersion;
        info.channel = channel.empty() ? std::string("stable") : channel;
        info.error = kManifestSignatureInvalid;
        log::write(log::Warn, "Update check: " + info.error);
        return info;
    }
    info.available = isNewerVersion(info.latest, info.current);
    return info;
}

} // namespace qv
