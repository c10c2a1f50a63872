// The update fetch over real WinHTTP and TLS, against the imitation update
// server (tests/imitation/update-server) serving tests/wine/update-routes.json.
// scripts/test starts it, makes this prefix trust its certificate authority
// and passes where it listens in the environment (Wine hands the Unix
// environment through):
//   QV_UPDATE_PORT_A, QV_UPDATE_PORT_B   two origins with trusted certificates
//   QV_UPDATE_PORT_UNTRUSTED             an origin whose certificate no one trusts
//   QV_UPDATE_LOG                        the server's request log (a Unix path)
// Without these the tests skip; with them, a server that does not answer fails them.
#include "base/Version.h"
#include "base/FileSystem.h"
#include "base/win32/Utf16.h"
#include "update/UpdateCheck.h"
#include "update/UpdateEnvironment.h"
#include "update/ManifestSignature.h"
#include "update/UpdateFetcher.h"
#include "update/win32/Win32FileHasher.h"
#include "update/win32/Win32HttpClient.h"
#include "update/win32/Win32SignatureVerifier.h"
#include "update/win32/Win32UpdateEnvironment.h"
#include "wine/WineTestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <windows.h>

#include <sstream>
#include <string>
#include <vector>

namespace qv {
namespace {

std::string environmentText(const wchar_t* name) {
    wchar_t buffer[1024];
    const DWORD n = GetEnvironmentVariableW(name, buffer, 1024);
    return n > 0 && n < 1024 ? narrow(std::wstring(buffer, n)) : std::string();
}

// The bytes the server's "pattern" routes send.
std::string pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + 3) % 251);
    return bytes;
}

// One line of the server's request log.
struct LoggedRequest {
    std::string origin; // "a", "b" or "untrusted"
    std::string path;
    bool authorized = false;
    std::string authorization;
    std::string accept;
    std::string userAgent;
};

class UpdateHttpsWine : public TempFolderTest {
protected:
    UpdateHttpsWine() : TempFolderTest("qv-https") {}

    void SetUp() override {
        TempFolderTest::SetUp();
        FileSystem::current().createFolder(root);
        const std::string a = environmentText(L"QV_UPDATE_PORT_A");
        const std::string b = environmentText(L"QV_UPDATE_PORT_B");
        const std::string untrustedPort = environmentText(L"QV_UPDATE_PORT_UNTRUSTED");
        const std::string log = environmentText(L"QV_UPDATE_LOG");
        if (a.empty() || b.empty() || untrustedPort.empty() || log.empty())
            GTEST_SKIP() << "no imitation update server: QV_UPDATE_PORT_A/B/UNTRUSTED and QV_UPDATE_LOG are not set "
                            "(scripts/test starts one with tests/imitation/update-server/server.bash)";
        originA = "https://localhost:" + a;
        originB = "https://localhost:" + b;
        untrusted = "https://localhost:" + untrustedPort;
        // Wine shows the Unix root as drive Z:.
        logPath = "Z:" + log;
        for (char& c : logPath)
            if (c == '/') c = '\\';
        SetEnvironmentVariableW(L"QUORVANE_GH_TOKEN", nullptr);
        SetEnvironmentVariableW(L"GITHUB_TOKEN", nullptr);
    }

    void TearDown() override { SetEnvironmentVariableW(L"QUORVANE_GH_TOKEN", nullptr); }

    std::string logText() const {
        std::string text;
        std::string error;
        FileSystem::current().readFile(logPath, text, error);
        return text;
    }
    // Where the log ends now: requests() from here on are the test's own.
    size_t logMark() const { return logText().size(); }
    std::vector<LoggedRequest> requestsSince(size_t mark) const {
        std::vector<LoggedRequest> out;
        const std::string text = logText();
        std::istringstream lines(mark < text.size() ? text.substr(mark) : std::string());
        std::string line;
        while (std::getline(lines, line)) {
            const nlohmann::json entry = nlohmann::json::parse(line, nullptr, false);
            if (!entry.is_object()) continue;
            LoggedRequest r;
            r.origin = entry.value("origin", "");
            r.path = entry.value("path", "");
            r.authorized = entry.contains("authorization") && entry["authorization"].is_string();
            if (r.authorized) r.authorization = entry["authorization"].get<std::string>();
            if (entry.contains("accept") && entry["accept"].is_string()) r.accept = entry["accept"].get<std::string>();
            if (entry.contains("userAgent") && entry["userAgent"].is_string()) r.userAgent = entry["userAgent"].get<std::string>();
            out.push_back(r);
        }
        return out;
    }

    std::string originA, originB, untrusted, logPath;
    Win32HttpClient http;
    Win32UpdateEnvironment environment;
    Win32SignatureVerifier verifier;
};

TEST_F(UpdateHttpsWine, ClientSpeaksTlsToTrustedOriginsAndFollowsNoRedirect) {
    struct Case {
        std::string url;
        HttpClient::Result result;
        uint32_t status;
        std::string location;
    };
    const Case cases[] = {
        {originA + "/quorvane/stable.json", HttpClient::Result::Ok, 200, ""},
        {originA + "/quorvane/missing.json", HttpClient::Result::Ok, 404, ""},
        {originA + "/moved/stable.json", HttpClient::Result::Ok, 302, originB + "/quorvane/stable.json"},
        // A certificate from an authority the prefix does not trust: no request goes out.
        {untrusted + "/quorvane/stable.json", HttpClient::Result::SendFailed, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        const size_t mark = logMark();
        HttpClient::Response response;
        std::unique_ptr<HttpClient::Body> body;
        ASSERT_EQ(http.send({c.url, "Quorvane/test", {"Accept: application/vnd.github+json"}}, response, body),
                  c.result);
        const std::vector<LoggedRequest> seen = requestsSince(mark);
        if (c.result != HttpClient::Result::Ok) {
            EXPECT_EQ(body, nullptr);
            EXPECT_TRUE(seen.empty());
            continue;
        }
        EXPECT_EQ(response.status, c.status);
        EXPECT_EQ(response.location, c.location);
        std::string text, piece;
        while (body->read(piece) && !piece.empty()) text += piece;
        EXPECT_EQ(response.contentLength, static_cast<int64_t>(text.size()));
        // The redirect was not followed: one request, at the origin asked.
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].origin, "a");
        EXPECT_EQ(seen[0].userAgent, "Quorvane/test");
        EXPECT_EQ(seen[0].accept, "application/vnd.github+json");
        EXPECT_FALSE(seen[0].authorized);
    }
}

TEST_F(UpdateHttpsWine, CheckReadsTheManifestOrSaysWhyNot) {
    struct Case {
        std::string base;
        std::string channel;
        std::string error;
        std::string latest;
    };
    const Case cases[] = {
        {originA + "/quorvane/", "", "", "1.4.0"},
        {originA + "/quorvane", "missing", "HTTP 404 from update server", ""},
        // Over the manifest limit, with no Content-Length to refuse it early.
        {originA + "/huge", "stable", "Update server response is too large", ""},
        {untrusted + "/quorvane", "stable", "Network request failed", ""},
        // The same manifest without a signature, signed over other bytes, and
        // changed after signing: CNG refuses each.
        {originA + "/unsigned", "stable", kManifestSignatureInvalid, ""},
        {originA + "/badly-signed", "stable", kManifestSignatureInvalid, ""},
        {originA + "/tampered", "stable", kManifestSignatureInvalid, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.base + " " + c.channel);
        CapturedLog log;
        UpdateFetcher fetcher(http, FileSystem::current(), c.base, updateToken(environment));
        const UpdateInfo info = checkForUpdate(fetcher, verifier, c.base, c.channel);
        EXPECT_EQ(info.error, c.error);
        EXPECT_EQ(info.latest, c.latest);
        EXPECT_EQ(info.available, c.error.empty());
        if (c.error.empty()) {
            EXPECT_EQ(info.url, originA + "/files/quorvane-1.4.0.exe");
            EXPECT_EQ(info.sha256, "5889ab642baa09c41570b8888cbf45f3762152cea2490ea6b150208a99c92b10");
            EXPECT_EQ(info.notes, "from the base origin");
        } else {
            EXPECT_TRUE(log.has("WRN", "Update check: " + c.error));
        }
    }
}

TEST_F(UpdateHttpsWine, TokenGoesToTheBaseOriginOnlyAcrossRedirects) {
    SetEnvironmentVariableW(L"QUORVANE_GH_TOKEN", L"qv-test-token");
    const std::string token = updateToken(environment);
    ASSERT_EQ(token, "qv-test-token");
    for (const char* folder : {"/moved", "/moved-permanently"}) {
        SCOPED_TRACE(folder);
        const std::string base = originA + folder;
        const size_t mark = logMark();
        UpdateFetcher fetcher(http, FileSystem::current(), base, token);
        const UpdateInfo info = checkForUpdate(fetcher, verifier, base, "stable");
        EXPECT_EQ(info.error, "");
        EXPECT_EQ(info.notes, "from the other origin");
        const std::vector<LoggedRequest> seen = requestsSince(mark);
        ASSERT_EQ(seen.size(), 2u);
        EXPECT_EQ(seen[0].origin, "a");
        EXPECT_EQ(seen[0].path, std::string(folder) + "/stable.json");
        EXPECT_EQ(seen[0].authorization, "Bearer qv-test-token");
        EXPECT_EQ(seen[1].origin, "b");
        EXPECT_EQ(seen[1].path, "/quorvane/stable.json");
        EXPECT_FALSE(seen[1].authorized) << seen[1].authorization;
        EXPECT_EQ(seen[1].userAgent, std::string("Quorvane/") + kVersion);
    }
}

TEST_F(UpdateHttpsWine, DownloadsAWholeFileOrLeavesNone) {
    const std::string installer = pattern(100000);
    struct Case {
        const char* name;
        std::string url;
        bool ok;
        std::string error;
    };
    const Case cases[] = {
        {"direct", originA + "/files/quorvane-1.4.0.exe", true, ""},
        {"from the other origin", originA + "/files/elsewhere.exe", true, ""},
        {"redirect to http", originA + "/files/plain.exe", false, "Update URL must use HTTPS"},
        {"plain http", "http://localhost:" + environmentText(L"QV_UPDATE_PORT_A") + "/files/quorvane-1.4.0.exe",
         false, "Update URL must use HTTPS"},
        // Its Content-Length is over the download limit: refused before a byte is read.
        {"over the limit", originA + "/files/huge.exe", false, "Update server response is too large"},
        // The connection ends 40,000 bytes into the promised 100,000.
        {"cut short", originA + "/files/cut.exe", false, ""},
    };
    Win32FileHasher hasher;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = root + "\\" + c.name + ".exe";
        UpdateFetcher fetcher(http, FileSystem::current(), originA + "/quorvane", std::string());
        std::string error = "stale";
        EXPECT_EQ(fetcher.fetchUrl(c.url, nullptr, path, true, error), c.ok);
        EXPECT_EQ(error, c.error);
        if (!c.ok) {
            EXPECT_FALSE(exists(path));
            continue;
        }
        EXPECT_TRUE(read(path) == installer) << "the file differs from what the server sent";
        EXPECT_EQ(hasher.sha256File(path), "5889ab642baa09c41570b8888cbf45f3762152cea2490ea6b150208a99c92b10");
    }
}

} // namespace
} // namespace qv
