#include "base/CrashDumps.h"

#include "base/LogTesting.h"
#include "sim/SimDesktop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace qv {
namespace {

using sim::SimFileSystem;

const std::string kLogs = "C:\\Users\\sim\\AppData\\Roaming\\Quorvane\\logs";

std::string inLogs(const std::string& name) { return kLogs + "\\" + name; }

// Dump names of seven crashes, oldest first.
const std::vector<std::string> kSevenDumps = {
    "crash-20241231-235959.dmp", "crash-20250101-000000.dmp", "crash-20250101-000001.dmp",
    "crash-20250102-093012.dmp", "crash-20250228-120000.dmp", "crash-20250307-090503.dmp",
    "crash-20250307-090504.dmp",
};

// Files that are not dumps and must outlive every prune.
const std::vector<std::string> kOthers = {"qv.log", "qv.log.1", "crash-x.DMP", "crash-20250101-000000.dmp.txt"};

std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class CrashDumpsTest : public ::testing::Test {
protected:
    void SetUp() override {
        log::resetForTests();
        testing::internal::CaptureStderr(); // keeps the crash lines off the test output
    }

    void TearDown() override {
        testing::internal::GetCapturedStderr();
        log::resetForTests();
    }

    // The names of the files left in the logs folder, sorted.
    std::vector<std::string> namesInLogs() const {
        std::vector<std::string> out;
        for (const auto& path : desk.files.files())
            if (parentFolder(path) == kLogs) out.push_back(path.substr(kLogs.size() + 1));
        return out;
    }

    sim::SimDesktop desk;
};

TEST_F(CrashDumpsTest, InstallPrunesOldestDumpsOnly) {
    struct Case {
        const char* what;
        int keep;
        std::vector<std::string> files;
        std::vector<std::string> undeletable;
        std::vector<std::string> left; // sorted
    };
    const std::vector<std::string> lastFive(kSevenDumps.begin() + 2, kSevenDumps.end());
    const std::vector<Case> cases = {
        {"seven dumps leave the five latest", 5, concat(kSevenDumps, kOthers), {}, concat(lastFive, kOthers)},
        {"fewer dumps than kept", 5, concat({kSevenDumps[0], kSevenDumps[1]}, kOthers), {},
         concat({kSevenDumps[0], kSevenDumps[1]}, kOthers)},
        {"keep 0 counts as 1", 0, kSevenDumps, {}, {kSevenDumps[6]}},
        {"a dump that cannot be deleted is passed over", 5, kSevenDumps, {kSevenDumps[0]},
         concat({kSevenDumps[0]}, lastFive)},
        // U+1F600 is a surrogate pair (0xD83D 0xDE00) in UTF-16 and so comes
        // before U+E000, although its UTF-8 bytes come after.
        {"order is UTF-16 code-unit order", 1, {"crash-\xee\x80\x80.dmp", "crash-\xf0\x9f\x98\x80.dmp"}, {},
         {"crash-\xee\x80\x80.dmp"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        desk.files.clearFailures();
        for (const auto& name : namesInLogs()) desk.files.removeFile(inLogs(name));
        // A folder with a dump's name sorts last but is not a dump: counted as
        // one, it would cost the oldest real dump that is kept.
        desk.files.addFolder(inLogs("crash-99991231-235959.dmp"));
        for (const auto& name : c.files) desk.files.setFile(inLogs(name), "x");
        for (const auto& name : c.undeletable) desk.files.failOn(SimFileSystem::Op::Remove, inLogs(name));

        CrashDumps::install(kLogs, c.keep);

        std::vector<std::string> left = c.left;
        std::sort(left.begin(), left.end());
        EXPECT_EQ(namesInLogs(), left);
        EXPECT_TRUE(desk.files.folderExists(inLogs("crash-99991231-235959.dmp")));
    }
}

TEST_F(CrashDumpsTest, InstallCreatesTheFolderAndTakesOverTheCrashDialog) {
    CrashDumps::install(kLogs, 5);
    EXPECT_TRUE(desk.files.folderExists(kLogs));
    EXPECT_EQ(desk.crash.calls(), (std::vector<std::string>{"installFilter", "setErrorMode 3"}));
}

TEST_F(CrashDumpsTest, CrashWritesADumpNamedAfterTheLocalTimeAndLogsIt) {
    struct Case {
        const char* what;
        uint32_t code;
        bool withPointers;
        std::vector<SimFileSystem::Op> failing; // on the dump's path
        std::string content;                    // empty: no dump left
        std::string line;
    };
    const std::vector<Case> cases = {
        {"an access violation", 0xC0000005, true, {}, "MDMP type=0x1061 code=0xC0000005 pointers=yes",
         "Unhandled exception 0xC0000005; minidump written"},
        {"no exception pointers", 0xC0000005, false, {}, "MDMP type=0x1061 code=0x00000000 pointers=no",
         "Unhandled exception 0x00000000; minidump written"},
        {"the file cannot be created", 0xC0000409, true, {SimFileSystem::Op::Open}, "",
         "Unhandled exception 0xC0000409; minidump could not be written"},
        {"the dump cannot be written", 0xC0000409, true, {SimFileSystem::Op::Write}, "",
         "Unhandled exception 0xC0000409; minidump could not be written"},
    };
    const std::string dump = inLogs("crash-20250307-090503.dmp");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        desk.files.clearFailures();
        desk.files.removeFile(dump);
        desk.debug.clear();
        desk.crash.setLocalTime({2025, 3, 7, 9, 5, 3});
        for (auto op : c.failing) desk.files.failOn(op, dump);

        CrashDumps::install(kLogs, 5);
        EXPECT_EQ(desk.crash.crash(c.code, c.withPointers), CrashApi::kExecuteHandler);

        if (c.content.empty()) {
            EXPECT_EQ(desk.files.content(dump).rfind("MDMP", 0), std::string::npos);
        } else {
            EXPECT_EQ(desk.files.content(dump), c.content);
        }
        EXPECT_EQ(desk.debug.lines(), std::vector<std::string>{"[Quorvane][ERR] " + c.line + "\n"});
    }
}

TEST_F(CrashDumpsTest, SecondCrashInTheSameSecondReplacesTheFirstDump) {
    desk.crash.setLocalTime({2024, 5, 1, 9, 30, 12});
    CrashDumps::install(kLogs, 5);
    desk.crash.crash(0xC0000005);
    desk.crash.crash(0xC00000FD);

    EXPECT_EQ(namesInLogs(), std::vector<std::string>{"crash-20240501-093012.dmp"});
    EXPECT_EQ(desk.files.content(inLogs("crash-20240501-093012.dmp")), "MDMP type=0x1061 code=0xC00000FD pointers=yes");
}

} // namespace
} // namespace qv
