#include "update/UpdateCheck.h"

#include "sim/SimDebugOutput.h"
#include "sim/SimFileSystem.h"
#include "sim/SimUpdateServer.h"
#include "update/UpdateFetcher.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

using sim::SimUpdateServer;

constexpr const char* kBase = "https://updates.test/quorvane";
constexpr const char* kStable = "https://updates.test/quorvane/stable.json";

class UpdateCheckTest : public ::testing::Test {
protected:
    UpdateInfo check(const std::string& manifest) {
        server.serveBody(kStable, manifest);
        return checkForUpdate(fetcher, kBase, "stable");
    }

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
        EXPECT_EQ(info.current, "1.3.9");
        EXPECT_EQ(info.channel, "stable");
    }
    EXPECT_TRUE(log.lines().empty()) << "a manifest's faults are not logged";

    const UpdateInfo full = check(R"({"version":"1.4.0","url":"https://dl.test/q.exe","sha256":"ab","notes":"n"})");
    EXPECT_EQ(full.url, "https://dl.test/q.exe");
    EXPECT_EQ(full.notes, "n");
}

TEST_F(UpdateCheckTest, AsksForTheChannelsManifest) {
    server.serveBody("https://updates.test/quorvane/dev.json", R"({"version":"2","url":"https://dl.test/q.exe"})");
    const UpdateInfo dev = checkForUpdate(fetcher, "https://updates.test/quorvane//", "dev");
    EXPECT_TRUE(dev.available);
    EXPECT_EQ(dev.channel, "dev");

    server.serveBody(kStable, R"({"version":"2","url":"https://dl.test/q.exe"})");
    const UpdateInfo stable = checkForUpdate(fetcher, kBase, "");
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
        const UpdateInfo info = checkForUpdate(fetcher, c.baseUrl, "stable");
        EXPECT_FALSE(info.available) << c.name;
        EXPECT_EQ(info.error, c.error) << c.name;
        EXPECT_TRUE(log.contains("WRN", std::string("Update check: ") + c.error)) << c.name;
    }
}

} // namespace
} // namespace qv
