// The wait a "--vd-create … --hold" runs between looks at its backend: with
// standard input on a pipe, as when a script drives the console command.
#include "vdisplay/win32/Win32VdConsole.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace qv {
namespace {

// Puts the read end of a fresh pipe in place of standard input for the test.
class PipedInput : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = GetStdHandle(STD_INPUT_HANDLE);
        ASSERT_TRUE(CreatePipe(&reader_, &writer_, nullptr, 0));
        ASSERT_TRUE(SetStdHandle(STD_INPUT_HANDLE, reader_));
    }
    void TearDown() override {
        SetStdHandle(STD_INPUT_HANDLE, previous_);
        if (writer_ != nullptr) CloseHandle(writer_);
        if (reader_ != nullptr) CloseHandle(reader_);
    }
    void closeWriter() {
        CloseHandle(writer_);
        writer_ = nullptr;
    }

    Win32VdConsole console;
    HANDLE reader_ = nullptr;
    HANDLE writer_ = nullptr;

private:
    HANDLE previous_ = nullptr;
};

TEST_F(PipedInput, WaitsUntilALineArrivesOrTheInputEnds) {
    // Nothing written yet: the wait times out (twice, so it does not consume).
    EXPECT_FALSE(console.waitForInput(0));
    EXPECT_FALSE(console.waitForInput(30));

    DWORD written = 0;
    ASSERT_TRUE(WriteFile(writer_, "\n", 1, &written, nullptr));
    EXPECT_TRUE(console.waitForInput(0));
    EXPECT_TRUE(console.waitForInput(0)) << "waiting takes nothing from the pipe";
    char byte = 0;
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(reader_, &byte, 1, &read, nullptr));
    EXPECT_EQ(byte, '\n');
    EXPECT_FALSE(console.waitForInput(0));

    // A script that closes its end: the end of input is something to read.
    closeWriter();
    EXPECT_TRUE(console.waitForInput(0));
}

TEST(VdHoldInput, NoInputHandleReadsAsTheEndOfInput) {
    const HANDLE previous = GetStdHandle(STD_INPUT_HANDLE);
    ASSERT_TRUE(SetStdHandle(STD_INPUT_HANDLE, nullptr));
    Win32VdConsole console;
    EXPECT_TRUE(console.waitForInput(1000));
    SetStdHandle(STD_INPUT_HANDLE, previous);
}

} // namespace
} // namespace qv
