// The update's Win32 services for real: CNG's SHA-256 of files, the
// environment it reads the token and temporary folder from, and WinHTTP's
// answers when there is nothing to talk to.
#include "update/win32/Win32FileHasher.h"
#include "update/win32/Win32HttpClient.h"
#include "update/win32/Win32UpdateEnvironment.h"
#include "wine/WineTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace qv {
namespace {

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
