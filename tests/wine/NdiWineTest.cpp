// The NDI runtime loader through the Windows loader, against the imitation
// runtimes built next to the tests (imitation-ndi\full and imitation-ndi\old):
// the variables, what a sender hands the runtime across the real calling
// convention, an old runtime refused, and a library planted in the current
// directory left alone.
#include "base/win32/Utf16.h"
#include "capture/NdiRuntime.h"
#include "capture/win32/Win32NdiLibrary.h"
#include "imitation/ndi/ImitationNdi.h"
#include "wine/WineTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace qv {
namespace {

constexpr const wchar_t* kLibrary = L"Processing.NDI.Lib.x64.dll";
constexpr const char* kNotFound =
    "The NDI 6 runtime was not found. Install the free NDI Runtime (https://ndi.video/tools/), or set "
    "NDI_RUNTIME_DIR_V6 to the folder containing Processing.NDI.Lib.x64.dll.";
constexpr const char* kTooOld =
    "The installed NDI runtime is missing required entry points (too old?). Install the NDI 6 Runtime.";

// The folder of an imitation runtime: "full" or "old".
std::wstring imitationFolder(const wchar_t* variant) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    folder.resize(folder.find_last_of(L'\\'));
    return folder + L"\\imitation-ndi\\" + variant;
}

std::wstring moduleFile(HMODULE module) {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    return std::wstring(path, length);
}

void clearVariables() {
    SetEnvironmentVariableW(L"NDI_RUNTIME_DIR_V6", nullptr);
    SetEnvironmentVariableW(L"NDI_RUNTIME_DIR_V5", nullptr);
    SetEnvironmentVariableW(L"NDILIB_REDIST_FOLDER", nullptr);
}

// Every test starts and ends with no variables set and no runtime loaded.
class Win32Ndi : public ::testing::Test {
protected:
    void SetUp() override {
        clearVariables();
        ASSERT_EQ(GetModuleHandleW(kLibrary), nullptr);
    }
    void TearDown() override {
        clearVariables();
        library.unload();
        EXPECT_EQ(GetModuleHandleW(kLibrary), nullptr);
    }

    Win32NdiLibrary library;
    NdiRuntime runtime{library};
    CapturedLog log;
};

TEST_F(Win32Ndi, TheVariablesNameTheRuntimeThatFramesReach) {
    const std::wstring full = imitationFolder(L"full");
    std::wstring forward = full;
    for (wchar_t& c : forward) {
        if (c == L'\\') c = L'/';
    }
    const std::wstring tooLong = L"C:\\" + std::wstring(257, L'n'); // 260 units
    struct Case {
        const char* what;
        std::wstring v6;
        std::wstring v5;
    };
    const Case cases[] = {
        {"trailing backslash", full + L"\\", L""},
        {"forward slashes and a trailing slash", forward + L"/", L""},
        {"a 260-unit NDI_RUNTIME_DIR_V6 is passed over for NDI_RUNTIME_DIR_V5", tooLong, full},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        clearVariables();
        if (!c.v6.empty()) SetEnvironmentVariableW(L"NDI_RUNTIME_DIR_V6", c.v6.c_str());
        if (!c.v5.empty()) SetEnvironmentVariableW(L"NDI_RUNTIME_DIR_V5", c.v5.c_str());
        log.lines.clear();
        // Each case with a runtime of its own, as a fresh process would have.
        Win32NdiLibrary fresh;
        NdiRuntime freshRuntime(fresh);

        bool missing = true;
        std::string error;
        ASSERT_TRUE(freshRuntime.ensureRuntime(&missing, &error)) << error;
        EXPECT_FALSE(missing);
        EXPECT_TRUE(log.has("INF", "NDI runtime loaded and initialized"));
        const HMODULE module = GetModuleHandleW(kLibrary);
        ASSERT_NE(module, nullptr);
        EXPECT_EQ(narrow(moduleFile(module)), narrow(full + L"\\" + kLibrary));
        const auto state = reinterpret_cast<ImitationNdiStateFn>(
            reinterpret_cast<void*>(GetProcAddress(module, "ImitationNdiState")));
        ASSERT_NE(state, nullptr);
        ImitationNdiRecord& record = *state();
        EXPECT_EQ(record.initializeCalls, 1);

        {
            NdiSender sender(freshRuntime);
            ASSERT_TRUE(sender.createSender("Quorvane - DISPLAY1")) << sender.error();
            EXPECT_EQ(record.creates, 1);
            EXPECT_STREQ(record.name, "Quorvane - DISPLAY1");
            EXPECT_EQ(record.groupsNull, 1);
            EXPECT_EQ(record.clockVideo, 1);
            EXPECT_EQ(record.clockAudio, 0);

            std::vector<uint8_t> pixels(static_cast<size_t>(1920) * 1080 * 4, 0);
            const uint32_t first = 0xFF102030, last = 0xFF405060;
            std::memcpy(pixels.data(), &first, 4);
            std::memcpy(pixels.data() + pixels.size() - 4, &last, 4);
            sender.sendFrame(pixels.data(), 1920, 1080, 1920 * 4, 30);
            EXPECT_EQ(record.frames, 1);
            EXPECT_EQ(record.sameSender, 1);
            EXPECT_EQ(record.xres, 1920);
            EXPECT_EQ(record.yres, 1080);
            EXPECT_EQ(record.fourCC, 0x41524742u);
            EXPECT_EQ(record.frameRateN, 30000);
            EXPECT_EQ(record.frameRateD, 1000);
            EXPECT_FLOAT_EQ(record.aspect, 1.7777778f);
            EXPECT_EQ(record.formatType, 1);
            EXPECT_EQ(record.timecode, INT64_MAX);
            EXPECT_EQ(record.stride, 7680);
            EXPECT_EQ(record.metadataNull, 1);
            EXPECT_EQ(record.timestamp, 0);
            EXPECT_EQ(record.firstPixel, first);
            EXPECT_EQ(record.lastPixel, last);
        }
        EXPECT_EQ(record.destroys, 1);
        EXPECT_EQ(record.connectionQueries, 0);
        // The runtime stays loaded; let it go so the next case loads afresh.
        fresh.unload();
        EXPECT_EQ(GetModuleHandleW(kLibrary), nullptr);
    }
}

TEST_F(Win32Ndi, AnOldRuntimeIsRefusedAndLetGo) {
    SetEnvironmentVariableW(L"NDI_RUNTIME_DIR_V6", imitationFolder(L"old").c_str());
    bool missing = false;
    std::string error;
    EXPECT_FALSE(runtime.ensureRuntime(&missing, &error));
    EXPECT_TRUE(missing);
    EXPECT_EQ(error, kTooOld);
    EXPECT_EQ(GetModuleHandleW(kLibrary), nullptr);
}

TEST_F(Win32Ndi, NoRuntimeAnywhereIsMissing) {
    // The SDK's macro name is not a variable the runtime's installers set.
    SetEnvironmentVariableW(L"NDILIB_REDIST_FOLDER", imitationFolder(L"full").c_str());
    bool missing = false;
    std::string error;
    EXPECT_FALSE(runtime.ensureRuntime(&missing, &error));
    EXPECT_TRUE(missing);
    EXPECT_EQ(error, kNotFound);
}

TEST_F(Win32Ndi, ALibraryPlantedInTheCurrentDirectoryIsNotLoaded) {
    TempFolder planted("qv-ndi");
    const std::wstring folder = widen(planted.path());
    // A folder left by an earlier run whose process had the same id is reused.
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    const std::wstring copy = folder + L"\\" + kLibrary;
    ASSERT_TRUE(CopyFileW((imitationFolder(L"full") + L"\\" + kLibrary).c_str(), copy.c_str(), FALSE));
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(folder.c_str()));

    bool missing = false;
    std::string error;
    EXPECT_FALSE(runtime.ensureRuntime(&missing, &error));
    EXPECT_TRUE(missing);
    EXPECT_EQ(error, kNotFound);
    EXPECT_EQ(GetModuleHandleW(kLibrary), nullptr);

    // The plant is real: the classic search, which includes the current
    // directory, does find it.
    const HMODULE classic = LoadLibraryW(kLibrary);
    EXPECT_NE(classic, nullptr);
    if (classic) {
        EXPECT_EQ(moduleFile(classic).find(folder), 0u);
        FreeLibrary(classic);
    }
    SetCurrentDirectoryW(previous);
    // Whatever was loaded goes before the folder is removed.
    library.unload();
}

} // namespace
} // namespace qv
