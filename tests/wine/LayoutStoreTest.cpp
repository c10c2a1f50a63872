// The layout store on real files, through the Win32 file system, and the tick
// count the hotplug restore measures its guard time with.
#include "layout/LayoutStore.h"

#include "base/win32/Win32TickSource.h"
#include "base/win32/Utf16.h"
#include "wine/WineTestSupport.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qv {
namespace {

// The layouts file with roaming application data in the test's own temporary
// folder, and the log's lines kept.
class LayoutFiles : public TempFolderTest {
protected:
    LayoutFiles() : TempFolderTest("qv-layouts") {}
    // Clears the read-only mark a test may leave, so the folder can be removed.
    void TearDown() override { SetFileAttributesW(widen(path).c_str(), FILE_ATTRIBUTE_NORMAL); }

    const std::string path = root + "\\Quorvane\\layouts.json";
    TempKnownFolders folders{root};
    CapturedLog log;
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
    EXPECT_TRUE(isCrLfObject(text));
    EXPECT_NE(text.find("\"name\": \"Büro\""), std::string::npos) << "non-ASCII is written as UTF-8";
    EXPECT_NE(text.find("\"height\": 1440,\r\n          \"key\": \"ABC-12CD-0x0001E240\""), std::string::npos);
    EXPECT_FALSE(exists(path + ".tmp"));

    LayoutStore reloaded;
    ASSERT_TRUE(reloaded.load());
    EXPECT_EQ(reloaded.layouts(), store.layouts());
    ASSERT_TRUE(reloaded.save());
    EXPECT_EQ(read(path), text);
}

// A layouts.json that cannot be replaced stays as it was, and so does the
// store: the layout whose removal could not be saved is still listed. The blocker runs with the file in place and returns what
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

        EXPECT_EQ(store.names(), std::vector<std::string>{"Büro"});
        EXPECT_EQ(log.lines, std::vector<std::string>{"[Quorvane][ERR] Cannot open layouts.json for write\n"});
        EXPECT_EQ(read(path), kHandWritten);
        EXPECT_FALSE(exists(path + ".tmp"));
    }
};

// A viewer or a virus scanner holding the file without allowing it to be
// deleted or renamed.
TEST_F(BlockedLayoutFile, HeldOpenByAnotherProgram) {
    removeWhileBlocked([this] {
        auto viewer = std::make_shared<HeldOpen>(path);
        EXPECT_TRUE(viewer->held());
        return std::function<void()>([viewer] { viewer->release(); });
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
