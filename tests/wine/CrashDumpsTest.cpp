// Crash dumps on real files: pruning through the Win32 folder listing, and
// minidumps of this very process written by MiniDumpWriteDump. Nothing here
// crashes; the filter is reached through UnhandledExceptionFilter.
#include "base/CrashDumps.h"
#include "base/FileSystem.h"
#include "base/Log.h"
#include "base/LogTesting.h"
#include "base/win32/Win32CrashApi.h"
#include "base/win32/Utf16.h"
#include "wine/WineTestSupport.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <dbghelp.h>

#include <algorithm>
#include <string>
#include <vector>

namespace qv {
namespace {

// Dumps in a logs folder inside the test's own temporary folder.
class Win32CrashDumps : public TempFolderTest {
protected:
    Win32CrashDumps() : TempFolderTest("qv-crash") {}
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(TempFolderTest::SetUp());
        log::resetForTests();
        FileSystem::current().createFolderChain(logs);
    }

    void TearDown() override {
        SetUnhandledExceptionFilter(nullptr);
        log::resetForTests();
    }

    // The regular files of the logs folder, sorted.
    std::vector<std::string> filesInLogs() const {
        std::vector<FileSystem::FolderEntry> entries;
        EXPECT_TRUE(FileSystem::current().listFolder(logs, entries));
        std::vector<std::string> out;
        for (const auto& e : entries)
            if (e.regularFile) out.push_back(e.name);
        std::sort(out.begin(), out.end());
        return out;
    }

    const std::string logs = root + "\\logs";
};

// An exception as the system would hand it to the filter, without raising it.
struct FakeException {
    explicit FakeException(DWORD code) {
        record.ExceptionCode = code;
        record.ExceptionAddress = reinterpret_cast<void*>(&RtlCaptureContext);
        RtlCaptureContext(&context);
        pointers.ExceptionRecord = &record;
        pointers.ContextRecord = &context;
    }
    EXCEPTION_RECORD record{};
    CONTEXT context{};
    EXCEPTION_POINTERS pointers{};
};

// The exception stream of a minidump, or null when it has none.
const MINIDUMP_EXCEPTION_STREAM* exceptionStream(const std::string& dump) {
    if (dump.size() < sizeof(MINIDUMP_HEADER)) return nullptr;
    const auto* header = reinterpret_cast<const MINIDUMP_HEADER*>(dump.data());
    for (ULONG32 i = 0; i < header->NumberOfStreams; ++i) {
        size_t at = header->StreamDirectoryRva + i * sizeof(MINIDUMP_DIRECTORY);
        if (at + sizeof(MINIDUMP_DIRECTORY) > dump.size()) return nullptr;
        const auto* entry = reinterpret_cast<const MINIDUMP_DIRECTORY*>(dump.data() + at);
        if (entry->StreamType != ExceptionStream) continue;
        if (entry->Location.Rva + sizeof(MINIDUMP_EXCEPTION_STREAM) > dump.size()) return nullptr;
        return reinterpret_cast<const MINIDUMP_EXCEPTION_STREAM*>(dump.data() + entry->Location.Rva);
    }
    return nullptr;
}

TEST_F(Win32CrashDumps, PruneDeletesTheOldestDumpsOfARealFolder) {
    // Oldest first; the first has a non-ASCII name, which must survive the
    // round trip through the listing to be deleted.
    const std::vector<std::string> dumps = {
        "crash-0-\xc3\xbc.dmp",      "crash-20250101-000000.dmp", "crash-20250101-000001.dmp",
        "crash-20250102-093012.dmp", "crash-20250228-120000.dmp", "crash-20250307-090503.dmp",
        "crash-20250307-090504.dmp",
    };
    const std::vector<std::string> others = {"crash-x.DMP", "qv.log", "qv.log.1"};
    for (const auto& name : dumps) writeFile(logs + "\\" + name, "MDMP");
    for (const auto& name : others) writeFile(logs + "\\" + name, "keep");
    // A folder with a dump's name that sorts last: not a dump, so not counted.
    ASSERT_TRUE(FileSystem::current().createFolder(logs + "\\crash-99991231-235959.dmp"));

    CrashDumps::prune(logs, 5);

    std::vector<std::string> expected(dumps.begin() + 2, dumps.end());
    expected.insert(expected.end(), others.begin(), others.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(filesInLogs(), expected);
    DWORD attributes = GetFileAttributesW(widen(logs + "\\crash-99991231-235959.dmp").c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
}

TEST_F(Win32CrashDumps, WritesAMinidumpOfThisProcessReplacingAnOlderFile) {
    Win32CrashApi api;
    FakeException fake(0xE0000042);
    const std::string first = logs + "\\crash-20250307-090503.dmp";
    ASSERT_TRUE(api.writeMinidump(first, {&fake.pointers, 0xE0000042}, CrashApi::kDumpType));
    const std::string withPointers = read(first);
    ASSERT_EQ(withPointers.substr(0, 4), "MDMP");
    const MINIDUMP_EXCEPTION_STREAM* stream = exceptionStream(withPointers);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->ThreadId, GetCurrentThreadId());
    EXPECT_EQ(stream->ExceptionRecord.ExceptionCode, 0xE0000042u);

    // An older file twice the size of a dump is created anew, not overwritten in place.
    const std::string second = logs + "\\crash-20250307-090504.dmp";
    writeFile(second, std::string(2 * withPointers.size(), 'o'));
    ASSERT_TRUE(api.writeMinidump(second, {}, CrashApi::kDumpType));
    const std::string withoutPointers = read(second);
    EXPECT_EQ(withoutPointers.substr(0, 4), "MDMP");
    EXPECT_EQ(exceptionStream(withoutPointers), nullptr);
    EXPECT_EQ(withoutPointers.find("oooooooo"), std::string::npos);
}

TEST_F(Win32CrashDumps, MinidumpFailsWithoutAFolder) {
    EXPECT_FALSE(Win32CrashApi().writeMinidump(root + "\\missing\\crash.dmp", {}, CrashApi::kDumpType));
}

TEST_F(Win32CrashDumps, UnhandledExceptionWritesADumpAndLogsIt) {
    log::open(logs + "\\qv.log");
    CrashDumps::install(logs, 5);

    FakeException fake(0xE0000042);
    EXPECT_EQ(UnhandledExceptionFilter(&fake.pointers), EXCEPTION_EXECUTE_HANDLER);

    std::vector<std::string> dumps;
    for (const auto& name : filesInLogs())
        if (name.rfind("crash-", 0) == 0) dumps.push_back(name);
    ASSERT_EQ(dumps.size(), 1u);
    EXPECT_EQ(dumps[0].size(), std::string("crash-20250307-090503.dmp").size()) << dumps[0];
    EXPECT_EQ(read(logs + "\\" + dumps[0]).substr(0, 4), "MDMP");
    EXPECT_NE(read(logs + "\\qv.log").find(" ERR Unhandled exception 0xE0000042; minidump written\n"),
              std::string::npos);
}

} // namespace
} // namespace qv
