// The update's Win32 services for real: CNG's SHA-256 of files, the
// environment it reads the token and temporary folder from, and WinHTTP's
// answers when there is nothing to talk to, and its ECDSA check of signatures.
#include "update/win32/Win32FileHasher.h"
#include "update/win32/Win32HttpClient.h"
#include "update/win32/Win32SignatureVerifier.h"
#include "update/win32/Win32UpdateEnvironment.h"
#include "wine/WineTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace qv {
namespace {

// A signature made with openssl from the tests' key (tests/keys), written out
// here: CNG must accept exactly it.
TEST(UpdateSignatureWine, CngChecksP256Signatures) {
    auto bytes = [](const std::string& hex) {
        std::vector<uint8_t> out;
        for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
        return out;
    };
    auto key = [&](const std::string& hex) {
        PublicKeyP256 k{};
        const std::vector<uint8_t> b = bytes(hex);
        std::copy(b.begin(), b.end(), k.begin());
        return k;
    };
    const PublicKeyP256 testsKey = key(
        "a83387b16c3a93b5177690c37cfa87b3a2619840dc253a1c7bb1f015c7dbfb07"
        "906e876a03f7074d5f2304664443cda061b4c7ba707a86679b11822faa7063b1");
    const PublicKeyP256 otherKey = key(
        "4607d8d84069174525eeb1cc5f8b6bf74130ad358d15b1e74ff2136806842bfd"
        "c3a4e3f36256b4c53cb767e3fea6f864b04df02a7326d953a721f7606232748e");
    const std::string message = "{\n  \"version\": \"1.4.0\"\n}\n";
    const std::vector<uint8_t> signature = bytes(
        "620231cfe0919b81211a6b3928ca38d0fe942ac6aed653cee782f5fed0c4302d"
        "847b3655ce83eb1b7a727deb6e675ae6ea72eb90be3de535748657fa766a3ff2");
    std::vector<uint8_t> flipped = signature;
    flipped[40] ^= 0x01;
    const struct {
        const char* name;
        std::string message;
        std::vector<uint8_t> signature;
        PublicKeyP256 key;
        bool valid;
    } cases[] = {
        {"as signed", message, signature, testsKey, true},
        {"a byte of the message changed", "{\n  \"version\": \"1.4.1\"\n}\n", signature, testsKey, false},
        {"one bit of s flipped", message, flipped, testsKey, false},
        {"another key", message, signature, otherKey, false},
        {"a key that is no point on the curve", message, signature, PublicKeyP256{}, false},
        {"63 bytes", message, std::vector<uint8_t>(signature.begin(), signature.end() - 1), testsKey, false},
    };
    Win32SignatureVerifier verifier;
    for (const auto& c : cases) EXPECT_EQ(verifier.verifyP256Sha256(c.message, c.signature, c.key), c.valid) << c.name;
}

class UpdateFilesWine : public TempFolderTest {
protected:
    UpdateFilesWine() : TempFolderTest("qv-update") {}
};

TEST_F(UpdateFilesWine, Sha256OfFilesAcrossBlockBoundaries) {
    std::string large;
    for (int i = 0; i < 200000; ++i) large += static_cast<char>((i * 7 + 3) % 251);
    struct Case {
        const char* name;
        std::string bytes;
        const char* digest;
    };
    const Case cases[] = {
        {"empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"three blocks and a bit", large, "d2979f63fc353288130be1837d34f088e378e76c5baa67b8a6077c950db3c286"},
    };
    Win32FileHasher hasher;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = root + "\\" + c.name + ".bin";
        writeFile(path, c.bytes);
        EXPECT_EQ(hasher.sha256File(path), c.digest);
    }
    EXPECT_EQ(hasher.sha256File(root + "\\missing.bin"), "");
}

TEST(UpdateEnvironmentWine, VariablesTemporaryFolderAndProcess) {
    Win32UpdateEnvironment environment;
    SetEnvironmentVariableW(L"QV_TEST_TOKEN", L"abc\u00e9");
    std::string value;
    ASSERT_TRUE(environment.variable("QV_TEST_TOKEN", value));
    EXPECT_EQ(value, "abc\xC3\xA9");
    // Too long for the 512-character buffer, empty, unset: no value.
    SetEnvironmentVariableW(L"QV_TEST_TOKEN", std::wstring(600, L'x').c_str());
    EXPECT_FALSE(environment.variable("QV_TEST_TOKEN", value));
    SetEnvironmentVariableW(L"QV_TEST_TOKEN", L"");
    EXPECT_FALSE(environment.variable("QV_TEST_TOKEN", value));
    SetEnvironmentVariableW(L"QV_TEST_TOKEN", nullptr);
    EXPECT_FALSE(environment.variable("QV_TEST_TOKEN", value));

    std::string temp;
    ASSERT_TRUE(environment.tempFolder(temp));
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.back(), '\\');
    EXPECT_EQ(environment.currentProcessId(), GetCurrentProcessId());
}

TEST(HttpClientWine, FailuresAreToldApartWithoutAServer) {
    Win32HttpClient client;
    struct Case {
        const char* url;
        HttpClient::Result result;
    };
    const Case cases[] = {
        {"not a url", HttpClient::Result::BadUrl},
        {"https://", HttpClient::Result::BadUrl},
        // Nothing listens on port 1: the request cannot be sent.
        {"http://127.0.0.1:1/latest.json", HttpClient::Result::SendFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        HttpClient::Response response;
        std::unique_ptr<HttpClient::Body> body;
        EXPECT_EQ(client.send({c.url, "Quorvane-Updater", {"Accept: application/json"}}, response, body), c.result);
        EXPECT_EQ(body, nullptr);
    }
}

} // namespace
} // namespace qv
