#include "update/UpdateFetcher.h"

#include "base/Version.h"
#include "sim/SimFileSystem.h"
#include "sim/SimUpdateHost.h"
#include "sim/SimUpdateServer.h"
#include "update/UpdateEnvironment.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

using sim::SimFileSystem;
using sim::SimUpdateServer;

constexpr const char* kBase = "https://updates.test/quorvane";
constexpr const char* kManifest = "https://updates.test/quorvane/stable.json";
constexpr const char* kDownload = "C:\\Temp\\Quorvane.update.exe";

class UpdateFetcherTest : public ::testing::Test {
protected:
    UpdateFetcherTest() { files.addFolder("C:\\Temp"); }

    bool fetch(const std::string& url, bool binary = false, const std::string& file = std::string()) {
        body.clear();
        return fetcher.fetchUrl(url, &body, file, binary, error);
    }

    SimUpdateServer server;
    SimFileSystem files;
    UpdateFetcher fetcher{server, files, kBase, "s3cret"};
    std::string body;
    std::string error;
};

TEST_F(UpdateFetcherTest, FollowsRedirectsAndSendsTheTokenOnlyToTheBaseOrigin) {
    server.redirect(kManifest, "https://UPDATES.test:443/mirror/stable.json", 301);
    server.redirect("https://updates.test/mirror/stable.json", "https://cdn.test/stable.json", 307);
    server.redirect("https://cdn.test/stable.json", "https://updates.test:8443/x.json", 308);
    server.redirect("https://updates.test:8443/x.json", "/final.json", 303);
    server.serveBody("https://updates.test:8443/final.json", "{}");

    ASSERT_TRUE(fetch(kManifest)) << error;
    EXPECT_EQ(body, "{}");
    const struct {
        const char* url;
        const char* authorization;
    } hops[] = {
        {kManifest, "Bearer s3cret"},
        {"https://updates.test/mirror/stable.json", "Bearer s3cret"},
        {"https://cdn.test/stable.json", "(none)"},
        {"https://updates.test:8443/x.json", "(none)"}, // another port is another origin
        {"https://updates.test:8443/final.json", "(none)"},
    };
    const std::vector<SimUpdateServer::Call> calls = server.calls();
    ASSERT_EQ(calls.size(), std::size(hops));
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].url, hops[i].url) << i;
        EXPECT_EQ(calls[i].header("Authorization"), hops[i].authorization) << i;
        EXPECT_EQ(calls[i].header("Accept"), "application/vnd.github+json") << i;
        EXPECT_EQ(calls[i].userAgent, std::string("Quorvane/") + kVersion) << i;
        EXPECT_TRUE(calls[i].bodyClosed) << i;
    }
}

TEST_F(UpdateFetcherTest, TokenNeverLeavesForAnotherOriginEvenWhenTheBaseIsNotHttps) {
    for (const char* base : {"http://updates.test/quorvane", "https://updates.test:444/quorvane", "not a url"}) {
        SimUpdateServer other;
        other.serveBody(kManifest, "{}");
        UpdateFetcher f(other, files, base, "s3cret");
        std::string b;
        ASSERT_TRUE(f.fetchUrl(kManifest, &b, "", false, error)) << base;
        EXPECT_EQ(other.calls().at(0).header("Authorization"), "(none)") << base;
    }
    // No token at all: no header, even for the base origin.
    server.serveBody(kManifest, "{}");
    UpdateFetcher anonymous(server, files, kBase, "");
    std::string b;
    ASSERT_TRUE(anonymous.fetchUrl(kManifest, &b, "", false, error));
    EXPECT_EQ(server.calls().back().header("Authorization"), "(none)");
}

TEST_F(UpdateFetcherTest, RefusalsAndFailuresHaveTheirMessages) {
    const auto port = [](HttpClient::Result result) {
        SimUpdateServer::Reply r;
        r.result = result;
        return r;
    };
    SimUpdateServer::Reply cut;
    cut.body = std::string(40000, 'a');
    cut.failReadAfter = 20000;
    SimUpdateServer::Reply noLocation;
    noLocation.status = 302;

    const struct {
        const char* name;
        std::string url;
        std::vector<std::pair<std::string, SimUpdateServer::Reply>> replies;
        const char* error;
        size_t requests;
    } cases[] = {
        {"plain http", "http://updates.test/quorvane/stable.json", {}, "Update URL must use HTTPS", 0},
        {"no url at all", "stable.json", {}, "Bad update URL", 0},
        {"not found", kManifest, {}, "HTTP 404 from update server", 1},
        {"redirect without Location", kManifest, {{kManifest, noLocation}}, "HTTP 302 from update server", 1},
        {"crack fails", kManifest, {{kManifest, port(HttpClient::Result::BadUrl)}}, "Bad update URL", 1},
        {"open fails", kManifest, {{kManifest, port(HttpClient::Result::OpenFailed)}}, "WinHttpOpen failed", 1},
        {"connect fails", kManifest, {{kManifest, port(HttpClient::Result::ConnectFailed)}},
         "Could not open update connection", 1},
        {"send fails", kManifest, {{kManifest, port(HttpClient::Result::SendFailed)}}, "Network request failed", 1},
        {"read fails", kManifest, {{kManifest, cut}}, "", 1},
    };
    for (const auto& c : cases) {
        SimUpdateServer s;
        for (const auto& [url, reply] : c.replies) s.serve(url, reply);
        UpdateFetcher f(s, files, kBase, "s3cret");
        std::string b = "kept";
        EXPECT_FALSE(f.fetchUrl(c.url, &b, "", false, error)) << c.name;
        EXPECT_EQ(error, c.error) << c.name;
        EXPECT_EQ(b, "kept") << c.name << ": nothing of a failed answer is appended";
        EXPECT_EQ(s.calls().size(), c.requests) << c.name;
    }
}

TEST_F(UpdateFetcherTest, RedirectsAreCheckedOnEveryHopAndCounted) {
    // A redirect to plain http or to something that is no URL is refused
    // before anything is sent there.
    server.redirect(kManifest, "http://updates.test/quorvane/stable.json");
    EXPECT_FALSE(fetch(kManifest));
    EXPECT_EQ(error, "Update URL must use HTTPS");
    EXPECT_EQ(server.urls(), std::vector<std::string>{kManifest});

    server.redirect(kManifest, "https://user@evil.test/");
    EXPECT_FALSE(fetch(kManifest));
    EXPECT_EQ(error, "Bad update URL");

    // Five redirects are followed; a sixth is not.
    for (int extra : {0, 1}) {
        SimUpdateServer s;
        const int redirects = 5 + extra;
        for (int i = 0; i < redirects; ++i)
            s.redirect("https://updates.test/r" + std::to_string(i), "/r" + std::to_string(i + 1));
        s.serveBody("https://updates.test/r" + std::to_string(redirects), "end");
        UpdateFetcher f(s, files, kBase, "");
        std::string b;
        const bool ok = f.fetchUrl("https://updates.test/r0", &b, "", false, error);
        if (extra == 0) {
            EXPECT_TRUE(ok) << error;
            EXPECT_EQ(b, "end");
            EXPECT_EQ(s.calls().size(), 6u);
        } else {
            EXPECT_FALSE(ok);
            EXPECT_EQ(error, "Too many redirects from update server");
            EXPECT_EQ(s.calls().size(), 6u);
        }
    }
}

TEST_F(UpdateFetcherTest, BodiesAreBounded) {
    const int64_t mib = int64_t{1} << 20;
    const struct {
        const char* name;
        bool binary;
        int64_t generated;
        int64_t contentLength;
        bool ok;
    } cases[] = {
        {"manifest of exactly 1 MiB", false, mib, -1, true},
        {"manifest one byte over, no Content-Length", false, mib + 1, -1, false},
        {"manifest announced too large", false, 10, mib + 1, false},
        {"download may exceed the manifest limit", true, mib + 1, mib + 1, true},
        {"download announced over 512 MiB", true, 10, 512 * mib + 1, false},
    };
    for (const auto& c : cases) {
        SimUpdateServer s;
        SimUpdateServer::Reply r;
        r.generatedBytes = c.generated;
        r.contentLength = c.contentLength;
        s.serve(kManifest, r);
        UpdateFetcher f(s, files, kBase, "");
        std::string b;
        EXPECT_EQ(f.fetchUrl(kManifest, &b, "", c.binary, error), c.ok) << c.name;
        EXPECT_EQ(error, c.ok ? "" : "Update server response is too large") << c.name;
        EXPECT_EQ(static_cast<int64_t>(b.size()), c.ok ? c.generated : 0) << c.name;
    }
}

TEST_F(UpdateFetcherTest, DownloadWritesTheFileOrLeavesNone) {
    const std::string installer = std::string("MZ") + std::string(50000, '\x90');
    server.serveBody("https://updates.test/q.exe", installer);
    ASSERT_TRUE(fetcher.fetchUrl("https://updates.test/q.exe", nullptr, kDownload, true, error)) << error;
    EXPECT_EQ(files.content(kDownload), installer);
    EXPECT_EQ(server.calls().back().header("Accept"), "application/octet-stream");

    SimUpdateServer::Reply cut;
    cut.body = installer;
    cut.failReadAfter = 30000;
    server.serve("https://updates.test/cut.exe", cut);
    // The connection closes early and the reads end as if the body were
    // complete, 30,000 bytes into the 50,002 its Content-Length promised.
    SimUpdateServer::Reply shortBody;
    shortBody.body = installer.substr(0, 30000);
    shortBody.contentLength = static_cast<int64_t>(installer.size());
    server.serve("https://updates.test/short.exe", shortBody);
    SimUpdateServer::Reply tooLarge;
    tooLarge.generatedBytes = UpdateFetcher::kManifestLimit + 1;
    server.serve("https://updates.test/huge.json", tooLarge);

    const struct {
        const char* name;
        const char* url;
        bool binary;
        const char* error;
    } cases[] = {
        {"cut mid-way", "https://updates.test/cut.exe", true, ""},
        {"ends before its Content-Length", "https://updates.test/short.exe", true, ""},
        {"over the limit", "https://updates.test/huge.json", false, "Update server response is too large"},
    };
    for (const auto& c : cases) {
        files.setFile(kDownload, "old");
        EXPECT_FALSE(fetcher.fetchUrl(c.url, nullptr, kDownload, c.binary, error)) << c.name;
        EXPECT_EQ(error, c.error) << c.name;
        EXPECT_FALSE(files.fileExists(kDownload)) << c.name;
    }

    // A refused answer never opens the file at all.
    files.setFile(kDownload, "old");
    EXPECT_FALSE(fetcher.fetchUrl("https://updates.test/missing.exe", nullptr, kDownload, true, error));
    EXPECT_EQ(error, "HTTP 404 from update server");
    EXPECT_EQ(files.content(kDownload), "old");

    files.failOn(SimFileSystem::Op::Open, kDownload);
    EXPECT_FALSE(fetcher.fetchUrl("https://updates.test/q.exe", nullptr, kDownload, true, error));
    EXPECT_EQ(error, "Cannot write download file");
    files.clearFailures();

    files.failOn(SimFileSystem::Op::Write, kDownload);
    EXPECT_FALSE(fetcher.fetchUrl("https://updates.test/q.exe", nullptr, kDownload, true, error));
    EXPECT_EQ(error, "Cannot write download file");
    files.clearFailures();
    EXPECT_FALSE(files.fileExists(kDownload));
}

TEST(UpdateTokenTest, TakesTheFirstUsableVariable) {
    const struct {
        std::map<std::string, std::string> variables;
        std::string token;
    } cases[] = {
        {{}, ""},
        {{{"QUORVANE_GH_TOKEN", "q"}, {"GITHUB_TOKEN", "g"}}, "q"},
        {{{"GITHUB_TOKEN", "g"}}, "g"},
        {{{"QUORVANE_GH_TOKEN", ""}, {"GITHUB_TOKEN", "g"}}, "g"},
        {{{"QUORVANE_GH_TOKEN", std::string(511, 't')}}, std::string(511, 't')},
        {{{"QUORVANE_GH_TOKEN", std::string(512, 't')}, {"GITHUB_TOKEN", "g"}}, "g"},
        {{{"QUORVANE_GH_TOKEN", "abc\r\nX-Evil: 1"}, {"GITHUB_TOKEN", "g"}}, "g"},
        {{{"GITHUB_TOKEN", "tab\there"}}, ""},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        sim::SimUpdateHost host;
        host.variables = cases[i].variables;
        EXPECT_EQ(updateToken(host), cases[i].token) << i;
    }
}

} // namespace
} // namespace qv
