#include "update/UpdateCheck.h"

#include "base/Version.h"
#include "sim/SimDebugOutput.h"
#include "sim/SimFileSystem.h"
#include "sim/SimUpdateServer.h"
#include "sim/TestSigning.h"
#include "update/ManifestSignature.h"
#include "update/UpdateFetcher.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

using sim::SimUpdateServer;

constexpr const char* kBase = "https://updates.test/quorvane";
constexpr const char* kStable = "https://updates.test/quorvane/stable.json";

class UpdateCheckTest : public ::testing::Test {
protected:
    // The manifest as the release script signs it.
    UpdateInfo check(const std::string& manifest) { return checkServed(key.sign(manifest)); }
    UpdateInfo checkServed(const std::string& body) {
        server.serveBody(kStable, body);
        return checkForUpdate(fetcher, verifier, kBase, "stable");
    }

    const sim::SigningKey key = sim::SigningKey::tests();
    sim::OpenSslVerifier verifier;
    sim::CapturedLog log;
    SimUpdateServer server;
    sim::SimFileSystem files;
    UpdateFetcher fetcher{server, files, kBase, ""};
};

TEST_F(UpdateCheckTest, ReadsEveryManifestShape) {
    const struct {
        const char* manifest;
        bool available;
        const char* latest;
        const char* sha256;
        const char* error; // a prefix of the error; "" for none
    } cases[] = {
        {R"({"version":"1.4.0","url":"https://dl.test/q.exe","sha256":"AB12","notes":"Faster."})", true, "1.4.0",
         "AB12", ""},
        {R"({"version":"v1.3.10","url":"https://dl.test/q.exe"})", true, "v1.3.10", "", ""},
        {R"({"version":"1.3.9","url":"https://dl.test/q.exe","extra":[1,2]})", false, "1.3.9", "", ""},
        {R"({"version":"1.3.9.1","url":"https://dl.test/q.exe"})", false, "1.3.9.1", "", ""},
        {R"({"version":"1.2","url":"https://dl.test/q.exe"})", false, "1.2", "", ""},
        {R"({"url":"https://dl.test/q.exe"})", false, "", "", "Update manifest is missing version/url"},
        {R"({"version":"1.4.0","url":""})", false, "1.4.0", "", "Update manifest is missing version/url"},
        {R"({"version":1.4,"url":"https://dl.test/q.exe"})", false, "", "",
         "Could not parse update manifest: [json.exception.type_error.302] type must be string"},
        {R"({"version":"1.4.0","url":"https://dl.test/q.exe","sha256":null})", false, "", "",
         "Could not parse update manifest: [json.exception.type_error.302] type must be string"},
        {R"({"version":"1.4.0","url":{"href":"x"}})", false, "", "",
         "Could not parse update manifest: [json.exception.type_error.302] type must be string"},
        {R"(["1.4.0"])", false, "", "", "Could not parse update manifest: [json.exception.type_error.306]"},
        {R"("1.4.0")", false, "", "", "Could not parse update manifest: [json.exception.type_error.306]"},
        {R"({"version":"1.4.0",)", false, "", "", "Could not parse update manifest: [json.exception.parse_error"},
        {"", false, "", "", "Could not parse update manifest: [json.exception.parse_error"},
    };
    for (const auto& c : cases) {
        const UpdateInfo info = check(c.manifest);
        EXPECT_EQ(info.available, c.available) << c.manifest;
        EXPECT_EQ(info.latest, c.latest) << c.manifest;
        EXPECT_EQ(info.sha256, c.sha256) << c.manifest;
        EXPECT_EQ(info.error.rfind(c.error, 0), 0u) << c.manifest << " gave " << info.error;
        if (*c.error == '\0') {
            EXPECT_EQ(info.error, "") << c.manifest;
        }
        EXPECT_EQ(info.current, kVersion);
        EXPECT_EQ(info.channel, "stable");
    }
    EXPECT_TRUE(log.lines().empty()) << "a manifest's faults are not logged";

    const UpdateInfo full = check(R"({"version":"1.4.0","url":"https://dl.test/q.exe","sha256":"ab","notes":"n"})");
    EXPECT_EQ(full.url, "https://dl.test/q.exe");
    EXPECT_EQ(full.notes, "n");
}

TEST_F(UpdateCheckTest, AsksForTheChannelsManifest) {
    server.serveBody("https://updates.test/quorvane/dev.json", key.sign(R"({"version":"2","url":"https://dl.test/q.exe"})"));
    const UpdateInfo dev = checkForUpdate(fetcher, verifier, "https://updates.test/quorvane//", "dev");
    EXPECT_TRUE(dev.available);
    EXPECT_EQ(dev.channel, "dev");

    server.serveBody(kStable, key.sign(R"({"version":"2","url":"https://dl.test/q.exe"})"));
    const UpdateInfo stable = checkForUpdate(fetcher, verifier, kBase, "");
    EXPECT_EQ(stable.channel, "stable");
    EXPECT_EQ(server.urls(), (std::vector<std::string>{"https://updates.test/quorvane/dev.json", kStable}));
}

TEST_F(UpdateCheckTest, AFailedFetchIsLoggedAsAWarning) {
    SimUpdateServer::Reply cut;
    cut.body = "{}";
    cut.failReadAfter = 1;
    const struct {
        const char* name;
        std::string baseUrl;
        bool serve;
        SimUpdateServer::Reply reply;
        const char* error;
    } cases[] = {
        {"not found", kBase, false, {}, "HTTP 404 from update server"},
        {"read fails", kBase, true, cut, "Update check failed"},
        {"plain http", "http://updates.test/quorvane", false, {}, "Update URL must use HTTPS"},
    };
    for (const auto& c : cases) {
        log.clear();
        if (c.serve) server.serve(kStable, c.reply);
        const UpdateInfo info = checkForUpdate(fetcher, verifier, c.baseUrl, "stable");
        EXPECT_FALSE(info.available) << c.name;
        EXPECT_EQ(info.error, c.error) << c.name;
        EXPECT_TRUE(log.contains("WRN", std::string("Update check: ") + c.error)) << c.name;
    }
}

// What a manifest offers counts only when the build's key signed exactly
// those bytes; anything else is one refusal, logged, with no field kept (so
// nothing is downloaded).
TEST_F(UpdateCheckTest, TrustsOnlyAManifestTheUpdateKeySigned) {
    const std::string manifest = "{\n  \"version\": \"1.4.0\",\n  \"url\": \"https://dl.test/q.exe\",\n"
                                 "  \"sha256\": \"ab\",\n  \"notes\": \"n\"\n}\n";
    const std::string signature = key.signatureOf(manifest);  // ECDSA signs differently each time
    const std::string member = ",\n  \"signature\": \"" + signature + "\"";
    const std::string good = manifest.substr(0, manifest.size() - 3) + member + "\n}\n";
    auto replaced = [](std::string text, const std::string& from, const std::string& to) {
        const size_t at = text.find(from);
        if (at == std::string::npos) throw std::logic_error("no \"" + from + "\" in " + text);
        return text.replace(at, from.size(), to);
    };
    const struct {
        const char* name;
        std::string body;
        bool trusted;
    } cases[] = {
        {"as signed", good, true},
        {"signature as the first member", replaced(manifest, "{", "{\n  \"signature\": \"" + signature + "\","),
         true},
        {"one byte changed", replaced(good, "1.4.0", "1.4.1"), false},
        {"the url changed", replaced(good, "dl.test", "dl.evil"), false},
        {"members reordered",
         replaced(good, "\"sha256\": \"ab\",\n  \"notes\": \"n\"", "\"notes\": \"n\",\n  \"sha256\": \"ab\""), false},
        {"an extra member", replaced(good, "\n}", ",\n  \"extra\": 1\n}"), false},
        {"spacing changed", replaced(good, "\"version\": ", "\"version\":"), false},
        {"no signature", manifest, false},
        {"an empty signature", replaced(good, signature, ""), false},
        {"not base64", replaced(good, signature.substr(0, 4), "!!!!"), false},
        {"63 bytes", replaced(good, signature, signature.substr(0, 84)), false},
        {"a signature twice", replaced(good, "\n}", member + "\n}"), false},
        {"signature not a string", replaced(good, "\"" + signature + "\"", "64"), false},
        {"signed by another key", sim::SigningKey::fresh().sign(manifest), false},
        {"signature of another manifest", replaced(good, signature, key.signatureOf("{}")), false},
        {"signature inside another member", replaced(manifest, "\"n\"", "\"n\", \"extra\": {\"signature\": \"" + signature + "\"}"),
         false},
    };
    for (const auto& c : cases) {
        log.clear();
        const UpdateInfo info = checkServed(c.body);
        if (c.trusted) {
            EXPECT_EQ(info.error, "") << c.name;
            EXPECT_TRUE(info.available) << c.name;
            EXPECT_EQ(info.url, "https://dl.test/q.exe") << c.name;
            EXPECT_EQ(info.sha256, "ab") << c.name;
        } else {
            EXPECT_EQ(info.error, kManifestSignatureInvalid) << c.name << "\n" << c.body;
            EXPECT_FALSE(info.available) << c.name;
            EXPECT_EQ(info.latest + info.url + info.sha256 + info.notes, "") << c.name;
            EXPECT_EQ(info.current, kVersion) << c.name;
            EXPECT_TRUE(log.contains("WRN", "Update check: Update manifest signature is not valid")) << c.name;
        }
    }
}

// A refused manifest hands on neither bytes nor a signature, also when the
// signature member itself was read before the text went wrong (a bad digit
// ends its base64 after some bytes; text after a whole signature is broken).
TEST(ManifestSignatureTest, ARefusedManifestLeavesNothingBehind) {
    const std::string signature = std::string(84, 'B') + "AA==";
    const std::string member = "\"signature\": \"" + signature + "\"";
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"a bad digit in the signature", "{" + member.substr(0, 40) + "\xFF" + member.substr(41) + "}"},
        {"a signature of 63 bytes", "{\"signature\": \"" + std::string(84, 'B') + "\"}"},
        {"broken after the signature", "{" + member + ", \"version\" 1}"},
        {"text after the object", "{" + member + "} x"},
        {"a second signature", "{" + member + ", " + member + "}"},
    };
    for (const auto& c : cases) {
        std::string signedBytes = "left over";
        std::vector<uint8_t> decoded(3, 1);
        EXPECT_FALSE(splitSignedManifest(c.text, signedBytes, decoded)) << c.name;
        EXPECT_EQ(signedBytes, "") << c.name;
        EXPECT_TRUE(decoded.empty()) << c.name << ": " << decoded.size() << " bytes";
    }
    std::string signedBytes;
    std::vector<uint8_t> decoded;
    ASSERT_TRUE(splitSignedManifest("{" + member + "}", signedBytes, decoded));
    EXPECT_EQ(signedBytes, "{}");
    EXPECT_EQ(decoded.size(), 64u);
}

// The key this build trusts is the tests' key (a release passes its own).
TEST(UpdateKeyTest, DevelopmentBuildsTrustTheTestsKey) {
    EXPECT_EQ(updatePublicKey(), sim::SigningKey::tests().publicKey());
    PublicKeyP256 key{};
    EXPECT_FALSE(parsePublicKeyHex(std::string(127, 'a'), key));
    EXPECT_FALSE(parsePublicKeyHex(std::string(126, 'a') + "g0", key));
    ASSERT_TRUE(parsePublicKeyHex("0F" + std::string(126, 'f'), key));
    EXPECT_EQ(key[0], 0x0F);
    EXPECT_EQ(key[63], 0xFF);
}

} // namespace
} // namespace qv
