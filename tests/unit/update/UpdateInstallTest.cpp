#include "update/UpdateInstaller.h"

#include "sim/SimDebugOutput.h"
#include "sim/SimFileSystem.h"
#include "sim/SimProcess.h"
#include "sim/SimUpdateHost.h"
#include "sim/SimUpdateServer.h"
#include "update/UpdateCheck.h"
#include "update/UpdateFetcher.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace qv {
namespace {

using sim::SimFileSystem;
using sim::SimUpdateServer;

constexpr const char* kTemp = "C:\\Users\\ann\\AppData\\Local\\Temp\\";
constexpr const char* kInstallerUrl = "https://dl.test/quorvane-1.4.0.exe";
const std::string kInstaller = "MZ new build";
const std::string kDigest = "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";

TEST(UpdateHelperScriptTest, IsExactWithCrLfAndDoubledPercent) {
    const std::string script = updateHelperScript(4242, "C:\\Users\\a%b\\AppData\\Local\\Temp\\Quorvane.update.exe",
                                                   "C:\\Program Files\\Quorvane 100%\\quorvane.exe");
    EXPECT_EQ(script,
              "@echo off\r\n"
              ":loop\r\n"
              "tasklist /FI \"PID eq 4242\" | find \"4242\" >nul 2>&1 && (timeout /t 1 /nobreak >nul & goto loop)\r\n"
              "move /Y \"C:\\Users\\a%%b\\AppData\\Local\\Temp\\Quorvane.update.exe\" "
              "\"C:\\Program Files\\Quorvane 100%%\\quorvane.exe\" >nul\r\n"
              "start \"\" \"C:\\Program Files\\Quorvane 100%%\\quorvane.exe\"\r\n"
              "del \"%~f0\"\r\n");
}

// cmd reads the script in the console's code page: a path beyond ASCII
// switches it to UTF-8 before any path is read.
TEST(UpdateHelperScriptTest, APathBeyondAsciiIsReadAsUtf8) {
    struct Case {
        const char* what;
        const char* download;
        const char* exe;
        bool switched;
    };
    const Case cases[] = {
        {"ASCII only", "C:\\Temp\\Quorvane.update.exe", "C:\\Q\\quorvane.exe", false},
        {"the user folder", "C:\\Users\\Jos\xC3\xA9\\Temp\\Quorvane.update.exe", "C:\\Q\\quorvane.exe", true},
        {"the program folder", "C:\\Temp\\Quorvane.update.exe", "D:\\\xD0\x9F\xD1\x80\\quorvane.exe", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string script = updateHelperScript(7, c.download, c.exe);
        EXPECT_EQ(script.rfind(c.switched ? "@echo off\r\nchcp 65001 >nul\r\n:loop\r\n" : "@echo off\r\n:loop\r\n", 0), 0u);
        EXPECT_NE(script.find(std::string("move /Y \"") + c.download + "\" \"" + c.exe + "\" >nul\r\n"), std::string::npos);
    }
}

class UpdateInstallTest : public ::testing::Test {
public: // the failure table's set-up steps reach the members
    UpdateInstallTest() {
        files.addFolder("C:\\Users\\ann\\AppData\\Local\\Temp");
        server.serveBody(kInstallerUrl, kInstaller);
        host.digestOfContent[kInstaller] = kDigest;
        info.available = true;
        info.current = "1.3.9";
        info.latest = "1.4.0";
        info.url = kInstallerUrl;
        info.sha256 = kDigest;
    }
    std::vector<std::string> launches() const {
        std::vector<std::string> out;
        std::copy_if(process.calls.begin(), process.calls.end(), std::back_inserter(out),
                     [](const std::string& c) { return c.rfind("ShellExecuteExW", 0) == 0; });
        return out;
    }

    sim::CapturedLog log;
    SimFileSystem files;
    SimUpdateServer server;
    sim::SimUpdateHost host{&files};
    sim::SimProcess process;
    UpdateFetcher fetcher{server, files, "https://updates.test/quorvane", ""};
    UpdateInstaller installer{fetcher, host, host, process, process, files};
    UpdateInfo info;
    std::string error;
};

TEST_F(UpdateInstallTest, StagesTheDownloadAndStartsTheHelper) {
    const std::string download = std::string(kTemp) + "Quorvane.update.exe";
    const std::string script = std::string(kTemp) + "Quorvane.update.cmd";
    files.setFile(script, "an older helper");
    info.sha256 = "9F86D081884C7D659A2FEAA0C55AD015A3BF4F1B2B0B822CD15D6C15B0F00A08"; // upper case matches

    ASSERT_TRUE(installer.installUpdate(info, error)) << error;
    EXPECT_EQ(error, "");
    EXPECT_EQ(files.content(download), kInstaller);
    EXPECT_EQ(files.content(script), updateHelperScript(4242, download, process.exePath));
    EXPECT_EQ(launches(), std::vector<std::string>{"ShellExecuteExW(open, cmd.exe, /c \"" + script + "\", 0x0, 0)"});
    EXPECT_EQ(server.calls().at(0).header("Accept"), "application/octet-stream");
    EXPECT_TRUE(log.contains("INF", "Update staged; quitting to apply."));
}

// cmd expands %NAME% on its command line, where no doubling escapes it: a
// temporary folder with "%" in it is given as the working folder instead.
TEST_F(UpdateInstallTest, ATemporaryFolderWithAPercentSignIsNotOnTheCommandLine) {
    const std::string folder = "C:\\Users\\ann\\50%TEMP%\\";
    files.addFolder("C:\\Users\\ann\\50%TEMP%");
    host.temp = folder;
    ASSERT_TRUE(installer.installUpdate(info, error)) << error;
    EXPECT_EQ(files.content(folder + "Quorvane.update.cmd"),
              updateHelperScript(4242, folder + "Quorvane.update.exe", process.exePath));
    EXPECT_EQ(launches(), std::vector<std::string>{"ShellExecuteExW(open, cmd.exe, /c \"Quorvane.update.cmd\", 0x0, 0) in " +
                                                   folder});
}

TEST_F(UpdateInstallTest, WithoutADigestTheCheckIsSkipped) {
    info.sha256.clear();
    host.digestOfContent.clear();
    ASSERT_TRUE(installer.installUpdate(info, error)) << error;
    EXPECT_EQ(launches().size(), 1u);
}

TEST_F(UpdateInstallTest, WithoutATemporaryFolderTheCurrentFolderIsUsed) {
    host.temp.clear();
    ASSERT_TRUE(installer.installUpdate(info, error)) << error;
    EXPECT_EQ(files.content("Quorvane.update.cmd"),
              updateHelperScript(4242, "Quorvane.update.exe", process.exePath));
}

TEST_F(UpdateInstallTest, EachFailureStopsWithItsMessageAndStartsNothing) {
    const std::string download = std::string(kTemp) + "Quorvane.update.exe";
    const std::string script = std::string(kTemp) + "Quorvane.update.cmd";
    SimUpdateServer::Reply cut;
    cut.body = kInstaller;
    cut.failReadAfter = 4;

    const struct {
        const char* name;
        std::function<void(UpdateInstallTest&)> arrange;
        const char* error;
        bool downloadKept;
    } cases[] = {
        {"no url", [](UpdateInstallTest& t) { t.info.url.clear(); }, "No download URL", false},
        {"same version", [](UpdateInstallTest& t) { t.info.latest = "1.3.9"; }, "No newer version to install", false},
        {"older version", [](UpdateInstallTest& t) { t.info.latest = "v1.2"; }, "No newer version to install", false},
        {"plain http", [](UpdateInstallTest& t) { t.info.url = "http://dl.test/q.exe"; }, "Update URL must use HTTPS",
         false},
        {"not found", [](UpdateInstallTest& t) { t.info.url = "https://dl.test/gone.exe"; },
         "HTTP 404 from update server", false},
        {"cut download", [&cut](UpdateInstallTest& t) { t.server.serve(kInstallerUrl, cut); }, "Download failed", false},
        {"digest differs", [](UpdateInstallTest& t) { t.info.sha256 = std::string(64, 'a'); },
         "Downloaded installer failed its integrity (SHA-256) check", false},
        {"digest shorter", [](UpdateInstallTest& t) { t.info.sha256 = kDigest.substr(0, 63); },
         "Downloaded installer failed its integrity (SHA-256) check", false},
        {"hash fails", [](UpdateInstallTest& t) { t.host.digestOfContent[kInstaller] = ""; },
         "Downloaded installer failed its integrity (SHA-256) check", false},
        {"own path unknown", [](UpdateInstallTest& t) { t.process.modulePathFails = true; },
         "Cannot locate current executable", true},
        {"script not writable",
         [script](UpdateInstallTest& t) { t.files.failOn(SimFileSystem::Op::Open, script); },
         "Cannot write update helper", true},
        {"script cut", [script](UpdateInstallTest& t) { t.files.failOn(SimFileSystem::Op::Write, script); },
         "Cannot write update helper", true},
        {"helper not started", [](UpdateInstallTest& t) { t.process.shellExecuteFails = true; },
         "Could not launch update helper", true},
    };
    for (const auto& c : cases) {
        files.clearFailures();
        files.removeFile(download);
        files.removeFile(script);
        server.serveBody(kInstallerUrl, kInstaller);
        info.url = kInstallerUrl;
        info.latest = "1.4.0";
        info.sha256 = kDigest;
        host.digestOfContent[kInstaller] = kDigest;
        process.modulePathFails = false;
        process.shellExecuteFails = false;
        process.calls.clear();
        log.clear();

        c.arrange(*this);
        EXPECT_FALSE(installer.installUpdate(info, error)) << c.name;
        EXPECT_EQ(error, c.error) << c.name;
        EXPECT_EQ(files.fileExists(download), c.downloadKept) << c.name;
        files.clearFailures();
        if (std::string(c.name) != "helper not started") {
            EXPECT_TRUE(launches().empty()) << c.name;
            EXPECT_FALSE(files.fileExists(script)) << c.name;
        }
        EXPECT_FALSE(log.contains("INF", "Update staged; quitting to apply.")) << c.name;
    }
}

} // namespace
} // namespace qv
