#include "base/Log.h"

#include "base/LogTesting.h"
#include "sim/SimDesktop.h"
#include "sim/SimFileSystem.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

namespace qv {
namespace {

using sim::SimFileSystem;

constexpr int64_t kLimit = 1048576;
const char* const kStamp = "2024-05-01 09:30:12";

// Captures what the test writes to the standard error stream (also used to keep
// long or many lines off the test output).
class StderrCapture {
public:
    StderrCapture() { testing::internal::CaptureStderr(); }
    ~StderrCapture() { take(); }
    std::string take() {
        if (taken_) return std::string();
        taken_ = true;
        return testing::internal::GetCapturedStderr();
    }

private:
    bool taken_ = false;
};

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        log::resetForTests();
        log::setLocalTimeForTests([] {
            std::tm tm{};
            tm.tm_year = 2024 - 1900;
            tm.tm_mon = 4;
            tm.tm_mday = 1;
            tm.tm_hour = 9;
            tm.tm_min = 30;
            tm.tm_sec = 12;
            return tm;
        });
        desk.files.addFolder(kRoaming);
    }

    void TearDown() override { log::resetForTests(); }

    static std::string fileLine(const std::string& level, const std::string& message) {
        return std::string(kStamp) + " " + level + " " + message + "\n";
    }
    static std::string header() { return std::string(kStamp) + " --- log opened ---\n"; }
    // A message whose file line is exactly `bytes` long.
    static std::string messageForLine(int64_t bytes) {
        return std::string(static_cast<size_t>(bytes) - fileLine("INF", "").size(), 'm');
    }

    std::vector<std::string> moves() const {
        std::vector<std::string> out;
        for (const auto& call : desk.files.calls())
            if (call.rfind("move ", 0) == 0) out.push_back(call);
        return out;
    }

    const std::string kRoaming = "C:\\Users\\sim\\AppData\\Roaming";
    const std::string path = kRoaming + "\\Quorvane\\logs\\qv.log";
    const std::string rotated = path + ".1";
    const std::string moveCall = "move " + path + " -> " + rotated + " flags=3";

    sim::SimDesktop desk;
};

TEST_F(LogTest, OpenCreatesTheFoldersAndAppendsHeaderAndLines) {
    StderrCapture err;
    desk.files.setFile(path, "earlier run\n");
    log::open(path);
    log::write(log::Info, "Config saved to C:\\x");

    EXPECT_TRUE(desk.files.folderExists(kRoaming + "\\Quorvane\\logs"));
    EXPECT_EQ(desk.files.content(path), "earlier run\n" + header() + fileLine("INF", "Config saved to C:\\x"));
    EXPECT_EQ(desk.debug.lines(), std::vector<std::string>{"[Quorvane][INF] Config saved to C:\\x\n"});
    EXPECT_EQ(err.take(), "[Quorvane][INF] Config saved to C:\\x\n");
}

TEST_F(LogTest, CreatesTheWholeFolderChainOfANewProfile) {
    SimFileSystem bare; // nothing but the drive
    FileSystem::install(&bare);
    log::open(path);
    log::write(log::Info, "first");
    EXPECT_EQ(bare.content(path), header() + fileLine("INF", "first"));
    FileSystem::install(&desk.files);
}

TEST_F(LogTest, LinesBeforeOpenReachOnlyTheConsoleAndDebugger) {
    StderrCapture err;
    log::write(log::Info, "Already running; signaling existing instance");
    log::open(path);

    EXPECT_EQ(desk.files.content(path), header());
    EXPECT_TRUE(desk.debug.contains("INF", "Already running; signaling existing instance"));
    EXPECT_EQ(err.take(), "[Quorvane][INF] Already running; signaling existing instance\n");
}

TEST_F(LogTest, AFileThatCannotBeOpenedLeavesTheConsoleAndDebugger) {
    desk.files.failOn(SimFileSystem::Op::Open, path);
    log::open(path);
    log::write(log::Error, "still here");
    EXPECT_FALSE(desk.files.fileExists(path));
    EXPECT_TRUE(desk.debug.contains("ERR", "still here"));
}

TEST_F(LogTest, LevelNames) {
    struct Case {
        int level;
        const char* name;
    };
    const std::vector<Case> cases = {{0, "DBG"}, {1, "INF"}, {2, "WRN"}, {3, "ERR"}, {4, "???"}, {-1, "???"}};
    log::open(path);
    std::string expected = header();
    for (const Case& c : cases) {
        log::write(c.level, "text");
        expected += fileLine(c.name, "text");
        EXPECT_TRUE(desk.debug.contains(c.name, "text")) << c.level;
    }
    EXPECT_EQ(desk.files.content(path), expected);
}

TEST_F(LogTest, LogfCutsMessagesTo1023Bytes) {
    struct Case {
        size_t formatted;
        size_t logged;
    };
    const std::vector<Case> cases = {{1023, 1023}, {1024, 1023}, {5000, 1023}};
    for (const Case& c : cases) {
        desk.debug.clear();
        log::logf(log::Warn, "%s", std::string(c.formatted, 'a').c_str());
        EXPECT_EQ(desk.debug.lines(), std::vector<std::string>{"[Quorvane][WRN] " + std::string(c.logged, 'a') + "\n"})
            << c.formatted;
    }
}

TEST_F(LogTest, LogfThatCannotFormatLogsNothing) {
    // In the C locale a wide character outside ASCII cannot be converted: snprintf fails.
    const wchar_t text[] = {static_cast<wchar_t>(0x20AC), 0};
    log::logf(log::Info, "%ls", text);
    EXPECT_TRUE(desk.debug.lines().empty());
}

TEST_F(LogTest, RotatesRightAfterTheLineThatReachesOneMebibyte) {
    StderrCapture quiet;
    const std::string seed(1048000, 's');
    desk.files.setFile(path, seed);
    log::open(path); // the header is not counted

    // 1,048,575 bytes: below the limit.
    const std::string m1 = messageForLine(kLimit - 1 - 1048000);
    log::write(log::Info, m1);
    EXPECT_FALSE(desk.files.fileExists(rotated));

    log::write(log::Info, "crossing");
    EXPECT_EQ(desk.files.content(rotated), seed + header() + fileLine("INF", m1) + fileLine("INF", "crossing"));
    EXPECT_EQ(desk.files.content(path), "");
    const std::string firstRotation = desk.files.content(rotated);

    // The fresh file counts from zero and rotates when the count reaches the limit exactly;
    // the older qv.log.1 is replaced.
    const std::string m3 = messageForLine(kLimit - 25);
    log::write(log::Info, m3);
    EXPECT_EQ(desk.files.content(rotated), firstRotation);
    log::write(log::Info, "");
    EXPECT_EQ(desk.files.content(rotated), fileLine("INF", m3) + fileLine("INF", ""));

    log::write(log::Info, "next");
    EXPECT_EQ(desk.files.content(path), fileLine("INF", "next"));
    EXPECT_EQ(moves(), (std::vector<std::string>{moveCall, moveCall}));
}

TEST_F(LogTest, FailedRenameKeepsGrowingTheSameFileAndRetriesEveryLine) {
    const std::string seed(kLimit, 's');
    desk.files.setFile(path, seed);
    log::open(path);
    desk.files.failOn(SimFileSystem::Op::Move, path);

    log::write(log::Info, "a");
    log::write(log::Info, "b");
    EXPECT_EQ(desk.files.content(path), seed + header() + fileLine("INF", "a") + fileLine("INF", "b"));
    EXPECT_EQ(moves(), (std::vector<std::string>{moveCall, moveCall}));

    desk.files.clearFailures();
    log::write(log::Info, "c");
    EXPECT_EQ(desk.files.content(rotated),
              seed + header() + fileLine("INF", "a") + fileLine("INF", "b") + fileLine("INF", "c"));
    EXPECT_EQ(desk.files.content(path), "");
}

TEST_F(LogTest, ThreadsWriteWholeLinesAcrossARotation) {
    constexpr int kThreads = 4;
    constexpr int kLines = 100;
    const std::string seed = std::string(kLimit - 3000, 's') + "\n";
    desk.files.setFile(path, seed);
    log::open(path);
    desk.files.setSlowWrites(true);
    StderrCapture quiet;

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) log::logf(log::Info, "thread %d line %d end", t, i);
        });
    }
    for (auto& th : threads) th.join();

    ASSERT_TRUE(desk.files.fileExists(rotated));
    std::istringstream all(desk.files.content(rotated) + desk.files.content(path));
    std::set<std::pair<int, int>> seen;
    std::string line;
    while (std::getline(all, line)) {
        if (line + "\n" == seed || line + "\n" == header()) continue;
        int t = -1, i = -1;
        char tail[8] = {};
        const std::string prefix = std::string(kStamp) + " INF ";
        ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
        ASSERT_EQ(std::sscanf(line.c_str() + prefix.size(), "thread %d line %d %3s", &t, &i, tail), 3) << line;
        ASSERT_STREQ(tail, "end") << line;
        EXPECT_TRUE(seen.insert({t, i}).second) << line;
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kLines));
}

} // namespace
} // namespace qv
