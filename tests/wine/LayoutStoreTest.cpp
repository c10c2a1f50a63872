// The layout store on real files, through the Win32 file system, and the tick
// count the hotplug restore measures its guard time with.
#include "layout/LayoutStore.h"

#include "app/DebugOutput.h"
#include "app/FileSystem.h"
#include "app/KnownFolders.h"
#include "app/win32/Win32Platform.h"
#include "app/win32/Win32TickSource.h"
#include "base/StrPrintf.h"
#include "base/win32/Utf16.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

namespace qv {
namespace {

// Roaming application data inside the test's own temporary folder.
class TempKnownFolders final : public KnownFolders {
public:
    explicit TempKnownFolders(std::string roaming) : roaming_(std::move(roaming)) {}
    std::string path(KnownFolder folder) override {
        return folder == KnownFolder::RoamingAppData ? roaming_ : std::string();
    }

private:
    std::string roaming_;
};

class CapturedLog final : public DebugOutput {
public:
    void write(const std::string& text) override { lines.push_back(text); }
    std::vector<std::string> lines;
};

class LayoutFiles : public ::testing::Test {
protected:
    void SetUp() override {
        installWin32Platform();
        wchar_t buf[MAX_PATH + 1];
        DWORD n = GetTempPathW(MAX_PATH + 1, buf);
        ASSERT_GT(n, 0u);
        static int counter = 0;
        root = narrow(std::wstring(buf, n)) +
               strprintf("qv-layouts-%lu-%d", static_cast<unsigned long>(GetCurrentProcessId()), ++counter);
        folders = std::make_unique<TempKnownFolders>(root);
        previousFolders_ = KnownFolders::install(folders.get());
        previousLog_ = DebugOutput::install(&log);
        path = root + "\\Quorvane\\layouts.json";
    }

    void TearDown() override {
        DebugOutput::install(previousLog_);
        KnownFolders::install(previousFolders_);
        SetFileAttributesW(widen(path).c_str(), FILE_ATTRIBUTE_NORMAL);
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(widen(root)), ignored);
    }

    static std::string read(const std::string& file) {
        std::string out;
        EXPECT_EQ(FileSystem::current().readFile(file, out), FileSystem::ReadStatus::Ok) << file;
        return out;
    }

    static bool exists(const std::string& file) {
        return GetFileAttributesW(widen(file).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    static void writeFile(const std::string& file, const std::string& bytes) {
        FileSystem::current().createFolderChain(parentFolder(file));
        auto f = FileSystem::current().openWrite(file);
        ASSERT_TRUE(f) << file;
        ASSERT_EQ(f->write(bytes), static_cast<int64_t>(bytes.size()));
        ASSERT_TRUE(f->close());
    }

    std::string root;
    std::string path;
    std::unique_ptr<TempKnownFolders> folders;
    CapturedLog log;

private:
    KnownFolders* previousFolders_ = nullptr;
    DebugOutput* previousLog_ = nullptr;
};

const char* const kHandWritten = R"({"layouts": [{"name": "Büro", "displays": [
    {"key": "ABC-12CD-0x0001E240", "x": 0, "y": 0, "width": 2560, "height": 1440,
     "refreshHz": 144, "orientation": 0, "primary": true},
    {"key": "DEL-41A8", "x": -1080, "y": 0, "orientation": 1}]}]})";

TEST_F(LayoutFiles, RoundTripWritesCrLfTextInPlaceOfTheOld) {
    EXPECT_EQ(LayoutStore::layoutsPath(), path);
    writeFile(path, kHandWritten);
    LayoutStore store;
    ASSERT_TRUE(store.load());
    ASSERT_EQ(store.layouts().size(), 1u);
    EXPECT_EQ(store.layouts()[0].name, "Büro");
    EXPECT_EQ(store.layouts()[0].placements.size(), 2u);

    ASSERT_TRUE(store.save());
    const std::string text = read(path);
    EXPECT_EQ(text.substr(0, 3), "{\r\n");
    EXPECT_EQ(text.substr(text.size() - 3), "}\r\n");
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << "bare line feed at " << i;
        }
    }
    EXPECT_NE(text.find("\"name\": \"Büro\""), std::string::npos) << "non-ASCII is written as UTF-8";
    EXPECT_NE(text.find("\"height\": 1440,\r\n          \"key\": \"ABC-12CD-0x0001E240\""), std::string::npos);
    EXPECT_FALSE(exists(path + ".tmp"));

    LayoutStore reloaded;
    ASSERT_TRUE(reloaded.load());
    EXPECT_EQ(reloaded.layouts(), store.layouts());
    ASSERT_TRUE(reloaded.save());
    EXPECT_EQ(read(path), text);
}

// A layouts.json that cannot be replaced stays as it was; the store keeps the
// change in memory. The blocker runs with the file in place and returns what
// undoes it.
class BlockedLayoutFile : public LayoutFiles {
protected:
    void removeWhileBlocked(const std::function<std::function<void()>()>& block) {
        writeFile(path, kHandWritten);
        LayoutStore store;
        ASSERT_TRUE(store.load());
        log.lines.clear();
        std::function<void()> unblock = block();
        const bool removed = store.remove("Büro");
        unblock();
        if (removed) GTEST_SKIP() << "Wine replaced the file";

        EXPECT_TRUE(store.names().empty()) << "memory keeps the change";
        EXPECT_EQ(log.lines, std::vector<std::string>{"[Quorvane][ERR] Cannot open layouts.json for write\n"});
        EXPECT_EQ(read(path), kHandWritten);
        EXPECT_FALSE(exists(path + ".tmp"));
    }
};

// A viewer or a virus scanner holding the file without allowing it to be
// deleted or renamed.
TEST_F(BlockedLayoutFile, HeldOpenByAnotherProgram) {
    removeWhileBlocked([this] {
        HANDLE held = CreateFileW(widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(held, INVALID_HANDLE_VALUE);
        return std::function<void()>([held] { CloseHandle(held); });
    });
}

TEST_F(BlockedLayoutFile, ReadOnly) {
    removeWhileBlocked([this] {
        EXPECT_TRUE(SetFileAttributesW(widen(path).c_str(), FILE_ATTRIBUTE_READONLY));
        return std::function<void()>([this] { SetFileAttributesW(widen(path).c_str(), FILE_ATTRIBUTE_NORMAL); });
    });
}

TEST_F(LayoutFiles, AFileThatIsNotJsonIsKeptAsBad) {
    writeFile(path, "{\"layouts\": [");
    writeFile(path + ".bad", "an older copy");
    LayoutStore store;
    EXPECT_FALSE(store.load());
    EXPECT_EQ(read(path + ".bad"), "{\"layouts\": [");
    ASSERT_FALSE(log.lines.empty());
    EXPECT_EQ(log.lines[0].rfind("[Quorvane][ERR] Layouts parse error: [json.exception.parse_error.101]", 0), 0u)
        << log.lines[0];
}

TEST(TickSourceWine, CountsFromSystemStartAndNeverGoesBack) {
    Win32TickSource ticks;
    const uint64_t first = ticks.milliseconds();
    EXPECT_GT(first, 0u);
    EXPECT_GE(ticks.milliseconds(), first);
}

} // namespace
} // namespace qv
