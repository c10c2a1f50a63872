#include "update/UpdateUrl.h"
#include "update/UpdateVersion.h"

#include <gtest/gtest.h>

#include <array>

namespace qv {
namespace {

TEST(UpdateUrlTest, ManifestUrlFromBaseAndChannel) {
    const struct {
        const char* base;
        const char* channel;
        const char* expected;
    } cases[] = {
        {"https://example.test/quorvane", "stable", "https://example.test/quorvane/stable.json"},
        {"https://example.test/quorvane//", "dev", "https://example.test/quorvane/dev.json"},
        {"https://example.test/quorvane/", "", "https://example.test/quorvane/stable.json"},
        {"", "", "https://updates.quorvane.app/quorvane/stable.json"},
        {"", "dev", "https://updates.quorvane.app/quorvane/dev.json"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(manifestUrl(c.base, c.channel), c.expected) << c.base << " " << c.channel;
    }
}

TEST(UpdateUrlTest, ParsesOriginAndPath) {
    const struct {
        const char* url;
        const char* scheme;
        const char* host;
        uint16_t port;
        const char* path;
    } cases[] = {
        {"https://example.test/quorvane/stable.json", "https", "example.test", 443, "/quorvane/stable.json"},
        {"HTTPS://Example.TEST:8443", "https", "example.test", 8443, "/"},
        {"https://example.test:/a", "https", "example.test", 443, "/a"},
        {"http://example.test?x=1#top", "http", "example.test", 80, "/?x=1"},
        {"https://[::1]:9443/dl/q.exe?sig=a/b", "https", "[::1]", 9443, "/dl/q.exe?sig=a/b"},
        {"ftp://example.test/file", "ftp", "example.test", 0, "/file"},
    };
    for (const auto& c : cases) {
        ParsedUrl url;
        ASSERT_TRUE(parseUrl(c.url, url)) << c.url;
        EXPECT_EQ(url.scheme, c.scheme) << c.url;
        EXPECT_EQ(url.host, c.host) << c.url;
        EXPECT_EQ(url.port, c.port) << c.url;
        EXPECT_EQ(url.path, c.path) << c.url;
    }
}

TEST(UpdateUrlTest, RefusesWhatIsNotAnAbsoluteUrl) {
    for (const char* url : {"", "example.test/stable.json", "https:example.test", "https://", "https:///path",
                            "https://example.test:0/", "https://example.test:65536/", "https://example.test:44x/",
                            "https://example.test:1:2/", "https://[::1/", "https://[::1]x/",
                            "https://token@example.test/", "https://good.test@evil.test/",
                            "https://example.test/a b", "https://example.test/a\r\nX-Injected: 1", "1https://x/"}) {
        ParsedUrl parsed;
        EXPECT_FALSE(parseUrl(url, parsed)) << url;
    }
}

TEST(UpdateUrlTest, OriginIsSchemeHostAndPort) {
    const struct {
        const char* a;
        const char* b;
        bool same;
    } cases[] = {
        {"https://example.test/quorvane", "https://EXAMPLE.test:443/dl/x.exe", true},
        {"https://example.test/", "https://example.test:8443/", false},
        {"https://example.test/", "http://example.test/", false},
        {"https://example.test/", "https://cdn.example.test/", false},
        {"https://example.test/", "https://example.test.evil.test/", false},
    };
    for (const auto& c : cases) {
        ParsedUrl a;
        ParsedUrl b;
        ASSERT_TRUE(parseUrl(c.a, a));
        ASSERT_TRUE(parseUrl(c.b, b));
        EXPECT_EQ(sameOrigin(a, b), c.same) << c.a << " vs " << c.b;
    }
}

TEST(UpdateUrlTest, RedirectLocationReadAgainstTheAnsweringUrl) {
    ParsedUrl from;
    ASSERT_TRUE(parseUrl("https://example.test:8443/releases/v1/q.exe?x=1", from));
    const struct {
        const char* location;
        const char* expected;
    } cases[] = {
        {"https://cdn.test/blob", "https://cdn.test/blob"},
        {"http://cdn.test/blob", "http://cdn.test/blob"},
        {"//cdn.test/blob", "https://cdn.test/blob"},
        {"/other/q.exe", "https://example.test:8443/other/q.exe"},
        {"q2.exe", "https://example.test:8443/releases/v1/q2.exe"},
        {"?y=2", "https://example.test:8443/releases/v1/q.exe?y=2"},
        {"/a#frag", "https://example.test:8443/a"},
    };
    for (const auto& c : cases) EXPECT_EQ(resolveLocation(from, c.location), c.expected) << c.location;
}

TEST(UpdateVersionTest, SplitsAsTheVersionRulesSay) {
    const struct {
        const char* text;
        std::array<int32_t, 3> numbers;
    } cases[] = {
        {"1.3.9", {1, 3, 9}},
        {"v1.4", {1, 4, 0}},
        {"V2", {2, 0, 0}},
        {"1.3.9-beta", {1, 3, 9}},
        {"1.3.9.1", {1, 3, 9}},
        {" 1. 4.+5", {1, 4, 5}},
        {"1.-2.3", {1, -2, 3}},
        {"1..3", {1, 0, 3}},
        {"vv1.2", {0, 2, 0}},
        {"", {0, 0, 0}},
        {"beta", {0, 0, 0}},
        {"1.2147483647.2147483648", {1, 2147483647, 0}},
        {"1.-2147483648.99999999999999999999", {1, -2147483647 - 1, 0}},
    };
    for (const auto& c : cases) EXPECT_EQ(splitVersion(c.text), c.numbers) << c.text;
}

TEST(UpdateVersionTest, OnlyAStrictlyNewerVersionCounts) {
    const struct {
        const char* latest;
        bool newer;
    } cases[] = {
        {"1.3.10", true}, {"1.4", true},      {"v1.4", true},       {"2", true},
        {"1.3.9", false}, {"1.3.9.1", false}, {"1.3.9-beta", false}, {"v1.3.9", false},
        {"1.3.8", false}, {"1.2.99", false},  {"0.9", false},        {"", false},
        {"garbage", false}, {"1.3.99999999999", false},
    };
    for (const auto& c : cases) EXPECT_EQ(isNewerVersion(c.latest, "1.3.9"), c.newer) << c.latest;
}

} // namespace
} // namespace qv
