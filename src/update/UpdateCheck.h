#pragma once
#include <string>

namespace qv {

class SignatureVerifier;
class UpdateFetcher;

// The outcome of one update check.
struct UpdateInfo {
    bool available = false; // the manifest's version is newer than this program's
    std::string current;    // this program's version
    std::string latest;     // the manifest's "version", as written there
    std::string url;        // the manifest's "url": where the installer comes from
    std::string sha256;     // the manifest's "sha256": hex digest of the installer, or empty
    std::string notes;      // the manifest's "notes" (kept, not shown)
    std::string channel;    // the channel that was asked for
    std::string error;      // empty on success, else why the check failed
};

// Reads a manifest body into info's latest, url, sha256 and notes (missing
// members stay empty). On failure info.error says why: the text does not
// parse, its top level is not an object or a member is not a string
// ("Could not parse update manifest: " + the reason), or "version" or "url" is
// missing or empty ("Update manifest is missing version/url").
bool readManifest(const std::string& body, UpdateInfo& info);

// Fetches the channel's manifest (an empty channel means "stable", an empty
// base URL the default) and decides whether it offers a newer version. Its
// fields are read only from the bytes the build's update key signed: a
// manifest without a valid signature fails with kManifestSignatureInvalid,
// whatever it offers. A failed fetch and a refused signature are logged as a
// warning "Update check: " + the error. Blocking.
UpdateInfo checkForUpdate(UpdateFetcher& fetcher, SignatureVerifier& verifier, const std::string& baseUrl,
                          const std::string& channel);

} // namespace qv
