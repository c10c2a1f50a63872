// The log and the settings file on real files, through the Win32 file system.
#include "settings/Config.h"
#include "base/Log.h"
#include "base/FileSystem.h"
#include "base/LogTesting.h"
#include "wine/WineTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace qv {
namespace {

// The log and the settings file with roaming application data in the test's
// own temporary folder.
class Win32Files : public TempFolderTest {
protected:
    Win32Files() : TempFolderTest("qv-files") {}
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(TempFolderTest::SetUp());
        log::resetForTests();
    }
    void TearDown() override { log::resetForTests(); }

    TempKnownFolders folders{root};
};

TEST_F(Win32Files, LogRotatesThroughMoveFileEx) {
    const std::string path = root + "\\Quorvane\\logs\\qv.log";
    const std::string rotated = path + ".1";

    // A new profile: the log creates every missing folder of the chain.
    log::open(path);
    log::write(log::Info, "first");
    std::string text = read(path);
    EXPECT_NE(text.find(" --- log opened ---\n"), std::string::npos);
    EXPECT_NE(text.find(" INF first\n"), std::string::npos);
    EXPECT_EQ(text.find('\r'), std::string::npos) << "binary append: line feeds only";

    // A file near the limit rotates right after the line that crosses it.
    log::resetForTests();
    writeFile(path, std::string(1048000, 's'));
    log::open(path);
    log::write(log::Info, std::string(600, 'x'));
    ASSERT_TRUE(exists(rotated));
    EXPECT_GT(read(rotated).size(), 1048576u);
    EXPECT_EQ(read(path), "");
    log::write(log::Info, "fresh");
    EXPECT_NE(read(path).find(" INF fresh\n"), std::string::npos);
}

TEST_F(Win32Files, LogKeepsWritingWhenTheRotatedFileIsHeldOpen) {
    const std::string path = root + "\\Quorvane\\logs\\qv.log";
    const std::string rotated = path + ".1";
    writeFile(rotated, "older");
    writeFile(path, std::string(1048576, 's'));
    HeldOpen viewer(rotated);
    ASSERT_TRUE(viewer.held());

    log::open(path);
    log::write(log::Info, "held");
    if (read(path).empty()) GTEST_SKIP() << "Wine replaced a file that is held open";
    EXPECT_EQ(read(rotated), "older");
    EXPECT_NE(read(path).find(" INF held\n"), std::string::npos);

    viewer.release();
    log::write(log::Info, "released");
    const std::string moved = read(rotated);
    EXPECT_GT(moved.size(), 1048576u);
    EXPECT_NE(moved.find(" INF held\n"), std::string::npos);
    EXPECT_NE(moved.find(" INF released\n"), std::string::npos);
    EXPECT_EQ(read(path), "");
}

TEST_F(Win32Files, ConfigRoundTripWritesCrLf) {
    Config c;
    c.maxPreviews = 3;
    c.displayNames = {{"DEL4321#1", "Büro"}};
    ASSERT_TRUE(c.save());
    const std::string path = root + "\\Quorvane\\config.json";
    EXPECT_EQ(configPath(), path);
    const std::string text = read(path);
    EXPECT_TRUE(isCrLfObject(text));
    EXPECT_NE(text.find("\"Büro\""), std::string::npos);
    EXPECT_FALSE(exists(path + ".tmp"));

    Config loaded;
    ASSERT_TRUE(loaded.load());
    EXPECT_EQ(loaded.maxPreviews, 3);
    EXPECT_EQ(loaded.displayNames, c.displayNames);
    ASSERT_TRUE(loaded.save());
    EXPECT_EQ(read(path), text);
}

TEST_F(Win32Files, ConfigSaveLeavesTheOldFileWhenItCannotBeReplaced) {
    const std::string path = configPath();
    writeFile(path, "{\"maxPreviews\": 2}");
    HeldOpen viewer(path);
    ASSERT_TRUE(viewer.held());

    Config c;
    bool saved = c.save();
    viewer.release();
    if (saved) GTEST_SKIP() << "Wine replaced a file that is held open";
    EXPECT_EQ(read(path), "{\"maxPreviews\": 2}");
    EXPECT_FALSE(exists(path + ".tmp"));
}

TEST_F(Win32Files, UnreadableConfigIsKeptAsBad) {
    const std::string path = configPath();
    writeFile(path, "{oops");
    writeFile(path + ".bad", "an older copy");
    Config c;
    EXPECT_FALSE(c.load());
    EXPECT_EQ(read(path + ".bad"), "{oops");
    EXPECT_EQ(read(path), "{oops");
}

TEST_F(Win32Files, ReadTellsAMissingFileFromOneThatCannotBeOpened) {
    const std::string path = root + "\\Quorvane\\config.json";
    std::string out;
    std::string error;
    EXPECT_EQ(FileSystem::current().readFile(path, out, error), FileSystem::ReadStatus::Missing);
    EXPECT_EQ(FileSystem::current().readFile(root + "\\no-folder\\x.json", out, error),
              FileSystem::ReadStatus::Missing);

    writeFile(path, "{\"maxPreviews\": 2}");
    HeldOpen editor(path, HeldOpen::Sharing::None);
    ASSERT_TRUE(editor.held());
    EXPECT_EQ(FileSystem::current().readFile(path, out, error), FileSystem::ReadStatus::CannotOpen);
    EXPECT_NE(error.find("(0x20)"), std::string::npos) << error; // ERROR_SHARING_VIOLATION
    editor.release();
    EXPECT_EQ(FileSystem::current().readFile(path, out, error), FileSystem::ReadStatus::Ok);
    EXPECT_EQ(out, "{\"maxPreviews\": 2}");
}

// Another program holds config.json without sharing it while the program
// starts: the settings are not read, cannot be copied, and are not written
// over by the start-up save nor the one at exit, even once released.
TEST_F(Win32Files, ConfigHeldWithoutSharingIsNeverWrittenOver) {
    const std::string path = configPath();
    const std::string mine = "{\"hotkeys\": {\"GatherWindows\": \"Ctrl+Alt+W\"}, \"maxPreviews\": 2}";
    writeFile(path, mine);
    HeldOpen editor(path, HeldOpen::Sharing::None);
    ASSERT_TRUE(editor.held());
    CapturedLog log;

    Config c;
    EXPECT_FALSE(c.load());
    EXPECT_EQ(c.maxPreviews, 4);
    EXPECT_FALSE(c.save());
    editor.release();
    EXPECT_FALSE(c.save());
    EXPECT_EQ(read(path), mine);
    EXPECT_FALSE(exists(path + ".bad"));
    EXPECT_FALSE(exists(path + ".tmp"));
    EXPECT_TRUE(log.has("ERR", "Config not saved: " + path +
                                   " could not be read at start and no copy of it could be made"));
}

} // namespace
} // namespace qv
