// The log and the settings file on real files, through the Win32 file system.
#include "app/Config.h"
#include "app/FileSystem.h"
#include "app/KnownFolders.h"
#include "app/Log.h"
#include "app/LogTesting.h"
#include "app/win32/Win32Platform.h"
#include "base/StrPrintf.h"
#include "base/win32/Utf16.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>

namespace qv {
namespace {

// Roaming application data inside the test's own temporary folder, so the test
// never touches the real settings.
class TempKnownFolders final : public KnownFolders {
public:
    explicit TempKnownFolders(std::string roaming) : roaming_(std::move(roaming)) {}
    std::string path(KnownFolder folder) override {
        return folder == KnownFolder::RoamingAppData ? roaming_ : std::string();
    }

private:
    std::string roaming_;
};

// Holds a file open for reading without allowing it to be deleted or renamed,
// as a viewer or a virus scanner might.
class HeldOpen {
public:
    explicit HeldOpen(const std::string& path)
        : h_(CreateFileW(widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~HeldOpen() { release(); }
    bool held() const { return h_ != INVALID_HANDLE_VALUE; }
    void release() {
        if (held()) CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE h_;
};

class Win32Files : public ::testing::Test {
protected:
    void SetUp() override {
        installWin32Platform();
        wchar_t buf[MAX_PATH + 1];
        DWORD n = GetTempPathW(MAX_PATH + 1, buf);
        ASSERT_GT(n, 0u);
        static int counter = 0;
        root = narrow(std::wstring(buf, n)) +
               strprintf("qv-files-%lu-%d", static_cast<unsigned long>(GetCurrentProcessId()), ++counter);
        folders = std::make_unique<TempKnownFolders>(root);
        previousFolders_ = KnownFolders::install(folders.get());
        log::resetForTests();
    }

    void TearDown() override {
        log::resetForTests();
        KnownFolders::install(previousFolders_);
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(widen(root)), ignored);
    }

    static std::string read(const std::string& path) {
        std::string out;
        EXPECT_EQ(FileSystem::current().readFile(path, out), FileSystem::ReadStatus::Ok) << path;
        return out;
    }

    static bool exists(const std::string& path) {
        return GetFileAttributesW(widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    static void writeFile(const std::string& path, const std::string& bytes) {
        FileSystem::current().createFolderChain(parentFolder(path));
        auto f = FileSystem::current().openWrite(path);
        ASSERT_TRUE(f) << path;
        ASSERT_EQ(f->write(bytes), static_cast<int64_t>(bytes.size()));
        ASSERT_TRUE(f->close());
    }

    std::string root;
    std::unique_ptr<TempKnownFolders> folders;

private:
    KnownFolders* previousFolders_ = nullptr;
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
    EXPECT_EQ(text.substr(0, 3), "{\r\n");
    EXPECT_EQ(text.substr(text.size() - 3), "}\r\n");
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << "bare line feed at " << i;
        }
    }
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

} // namespace
} // namespace qv
