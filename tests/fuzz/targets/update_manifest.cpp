// The update manifest as the server sends it, through the whole check: the
// body served at the channel's manifest URL over the simulated server, its
// signature checked by a verifier that accepts every signature (so the
// fields are read from whatever bytes are "signed"). A check either fails
// with a reason and offers nothing, or names a version and a URL, and offers
// it exactly when it is newer than this program.
#include "FuzzSupport.h"

#include "base/Version.h"
#include "sim/SimUpdateServer.h"
#include "update/ManifestSignature.h"
#include "update/UpdateCheck.h"
#include "update/UpdateFetcher.h"
#include "update/UpdateUrl.h"
#include "update/UpdateVersion.h"

using namespace qv;

namespace {

class AnySignature final : public SignatureVerifier {
public:
    bool verifyP256Sha256(const std::string&, const std::vector<uint8_t>& signature, const PublicKeyP256&) override {
        return signature.size() == 64;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string body = fuzz::bytes(data, size);

    UpdateInfo read;
    if (readManifest(body, read)) {
        QV_FUZZ_CHECK(!read.latest.empty() && !read.url.empty() && read.error.empty(), fuzz::shown(body));
    } else {
        QV_FUZZ_CHECK(!read.error.empty(), fuzz::shown(body));
    }

    fuzz::Disk disk;
    sim::SimUpdateServer server;
    const std::string base = Config::kDefaultUpdateBaseUrl;
    server.serveBody(manifestUrl(base, "stable"), body);
    UpdateFetcher fetcher(server, disk.files, base, std::string());
    AnySignature verifier;
    const UpdateInfo info = checkForUpdate(fetcher, verifier, base, "stable");
    const std::string detail = fuzz::shown(body) + "\nerror: " + info.error;
    QV_FUZZ_CHECK(info.current == kVersion && info.channel == "stable", detail);
    if (!info.error.empty()) {
        QV_FUZZ_CHECK(!info.available, detail);
        return 0;
    }
    QV_FUZZ_CHECK(!info.latest.empty() && !info.url.empty(), detail);
    QV_FUZZ_CHECK(info.available == isNewerVersion(info.latest, kVersion), detail);
    return 0;
}
