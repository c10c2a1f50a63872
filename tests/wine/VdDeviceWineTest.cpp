// The virtual display device and system adapters against Wine's SetupAPI,
// kernel32, cfgmgr32 (which has no software device functions) and ntdll.
// Nothing here removes or changes a device of the prefix.
#include "base/win32/Utf16.h"
#include "vdisplay/win32/Win32DeviceApi.h"
#include "vdisplay/win32/Win32SystemInfo.h"
#include "wine/WineTestSupport.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace qv::vdisplay {
namespace {

// GUID_DEVCLASS_DISPLAY (learn.microsoft.com, System-Defined Device Setup Classes).
const GuidText DisplayClass = "{4D36E968-E325-11CE-BFC1-08002BE10318}";
// Parsec VDD's control interface and two of its requests (nomi-san/parsec-vdd core/parsec-vdd.h).
const GuidText ParsecInterface = "{00B41627-04C4-429E-A26E-0265CF50C8FA}";
constexpr uint32_t ParsecVersion = 0x0022E010;
constexpr uint32_t ParsecUpdate = 0x0022A00C;

TEST(VdDeviceWine, InterfaceLookupFindsNothingForClassesNobodyPublishes) {
    Win32DeviceApi api;
    const std::vector<GuidText> classes = {
        "{6F0C1A52-93D4-4B7E-8E21-5A3C9D0B7E14}", // made up for this test
        ParsecInterface,                          // no such driver in the prefix
        "{6f0c1a52-93d4-4b7e-8e21-5a3c9d0b7e14}", // lower case parses too
        "",                                       // would parse as the null GUID
        "not a guid",
        "{6F0C1A52-93D4-4B7E-8E21-5A3C9D0B7E1}", // one digit short
    };
    for (const GuidText& guid : classes) {
        SCOPED_TRACE(guid);
        EXPECT_EQ(api.interfacePath(guid), "");
    }
}

TEST(VdDeviceWine, InterfaceLookupGivesThePathOfAPublishedInterface) {
    // Wine publishes its monitor (and, on some versions, display adapter)
    // device interfaces; the path names the interface class at its end.
    Win32DeviceApi api;
    const std::vector<GuidText> classes = {
        "{E6F07B5F-EE97-4A90-B076-33F57BF4EAA7}", // monitors
        "{5B45201D-F2F2-4F3B-85BB-30FF1F953599}", // display adapters
    };
    int found = 0;
    for (const GuidText& guid : classes) {
        const std::string path = api.interfacePath(guid);
        std::printf("interface %s: %s\n", guid.c_str(), path.empty() ? "(none)" : path.c_str());
        if (path.empty()) continue;
        ++found;
        EXPECT_EQ(path.rfind("\\\\?\\", 0), 0u) << path;
        ASSERT_GE(path.size(), guid.size());
        EXPECT_EQ(_stricmp(path.substr(path.size() - guid.size()).c_str(), guid.c_str()), 0) << path;
    }
    EXPECT_GT(found, 0);
}

class VdDeviceFileWine : public TempFolderTest {
protected:
    VdDeviceFileWine() : TempFolderTest("qv-vd") {}
};

TEST_F(VdDeviceFileWine, OpeningAMissingDeviceGivesTheSystemsError) {
    Win32DeviceApi api;
    for (bool overlapped : {false, true}) {
        SCOPED_TRACE(overlapped);
        uint32_t error = 0;
        EXPECT_EQ(api.openDevice("\\\\.\\QuorvaneNoSuchDevice", overlapped, error), 0u);
        EXPECT_EQ(error, static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
        error = 0;
        EXPECT_EQ(api.openDevice(root + "\\missing\\device", overlapped, error), 0u);
        EXPECT_EQ(error, static_cast<uint32_t>(ERROR_PATH_NOT_FOUND));
    }
}

TEST_F(VdDeviceFileWine, RequestsToSomethingThatIsNoDriverFailCleanly) {
    Win32DeviceApi api;
    const std::string path = root + "\\not-a-device.bin";
    writeFile(path, std::string(4096, 'x'));

    uint32_t error = 0;
    const DeviceApi::Handle file = api.openDevice(path, false, error);
    ASSERT_NE(file, 0u) << error;
    uint8_t answer[16] = {};
    EXPECT_FALSE(api.control(file, 0x222000, nullptr, 0, answer, sizeof(answer), error));
    EXPECT_NE(error, 0u);
    api.closeDevice(file);

    error = 0;
    EXPECT_FALSE(api.control(0, 0x222000, nullptr, 0, answer, sizeof(answer), error));
    EXPECT_EQ(error, static_cast<uint32_t>(ERROR_INVALID_HANDLE));

    // The overlapped routine: a file opened for overlapped I/O, a handle that
    // is not a file at all, and no handle. The output is left as it was.
    const DeviceApi::Handle overlappedFile = api.openDevice(path, true, error);
    ASSERT_NE(overlappedFile, 0u) << error;
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    const std::vector<DeviceApi::Handle> handles = {
        overlappedFile, static_cast<DeviceApi::Handle>(reinterpret_cast<uintptr_t>(event)), 0};
    const uint8_t input[32] = {1, 2, 3};
    for (const uint32_t code : {ParsecVersion, ParsecUpdate}) {
        for (const DeviceApi::Handle handle : handles) {
            SCOPED_TRACE(testing::Message() << "code " << code << " handle " << handle);
            uint8_t output[32];
            std::memset(output, 0xAB, sizeof(output));
            EXPECT_FALSE(api.controlOverlapped(handle, code, input, output, 5000));
            for (uint8_t byte : output) EXPECT_EQ(byte, 0xAB);
        }
    }
    CloseHandle(event);
    api.closeDevice(overlappedFile);
    api.closeDevice(0); // nothing to close
}

// A named pipe is a real kernel object with requests that stay pending: a
// listen waits for a client, a peek answers at once.
constexpr uint32_t PipeListen = 0x110008; // FSCTL_PIPE_LISTEN
constexpr uint32_t PipePeek = 0x11400C;   // FSCTL_PIPE_PEEK

class PipeServer {
public:
    PipeServer()
        : name_(L"\\\\.\\pipe\\quorvane-vd-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(++count_)),
          handle_(CreateNamedPipeW(name_.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                   PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr)) {}
    ~PipeServer() {
        if (client_ != INVALID_HANDLE_VALUE) CloseHandle(client_);
        if (ok()) CloseHandle(handle_);
    }
    PipeServer(const PipeServer&) = delete;
    PipeServer& operator=(const PipeServer&) = delete;

    bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
    DeviceApi::Handle handle() const { return static_cast<DeviceApi::Handle>(reinterpret_cast<uintptr_t>(handle_)); }
    bool connectClient() {
        client_ = CreateFileW(name_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        return client_ != INVALID_HANDLE_VALUE;
    }
    bool clientWrites(const char* text) {
        DWORD written = 0;
        return WriteFile(client_, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr) &&
               written == std::strlen(text);
    }

private:
    static inline int count_ = 0;
    std::wstring name_;
    HANDLE handle_;
    HANDLE client_ = INVALID_HANDLE_VALUE;
};

TEST(VdDeviceWine, OverlappedRequestsAnswerOrAreRetiredAfterTheWait) {
    Win32DeviceApi api;
    const uint8_t input[32] = {};

    // Answered: the peek's header (state, bytes available, ...) and the data.
    PipeServer answered;
    ASSERT_TRUE(answered.ok());
    ASSERT_TRUE(answered.connectClient());
    ASSERT_TRUE(answered.clientWrites("hello"));
    uint8_t output[32] = {};
    ASSERT_TRUE(api.controlOverlapped(answered.handle(), PipePeek, input, output, 5000));
    uint32_t available = 0;
    std::memcpy(&available, output + 4, sizeof(available));
    EXPECT_EQ(available, 5u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(output + 16), 5), "hello");

    // Still pending when the wait ends: a failure, the output untouched, and
    // the request no longer outstanding, so the pipe can be listened on
    // again and a client completes that new listen.
    PipeServer pending;
    ASSERT_TRUE(pending.ok());
    std::memset(output, 0xAB, sizeof(output));
    EXPECT_FALSE(api.controlOverlapped(pending.handle(), PipeListen, input, output, 0));
    for (uint8_t byte : output) EXPECT_EQ(byte, 0xAB);

    HANDLE pipe = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(pending.handle()));
    OVERLAPPED listen{};
    listen.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(listen.hEvent, nullptr);
    EXPECT_FALSE(ConnectNamedPipe(pipe, &listen));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    ASSERT_TRUE(pending.connectClient());
    DWORD transferred = 0;
    EXPECT_TRUE(GetOverlappedResult(pipe, &listen, &transferred, TRUE));
    CloseHandle(listen.hEvent);
}

bool hasTarnwickId(const std::vector<DeviceApi::DeviceIds>& devices) {
    for (const DeviceApi::DeviceIds& device : devices)
        for (const std::string& id : device.hardwareIds)
            if (_stricmp(id.c_str(), "Root\\MttVDD") == 0) return true; // Virtual-Display-Driver's install scripts
    return false;
}

TEST(VdDeviceWine, WalksTheDisplayClassAndTheRootEnumerator) {
    Win32DeviceApi api;
    std::vector<DeviceApi::DeviceIds> display;
    ASSERT_TRUE(api.devicesOfClass(DisplayClass, display));
    EXPECT_FALSE(hasTarnwickId(display));
    for (const DeviceApi::DeviceIds& device : display) {
        std::string ids;
        for (const std::string& id : device.hardwareIds) ids += " " + id;
        std::printf("display device %u:%s\n", device.index, ids.c_str());
    }

    // Wine may or may not keep devices under ROOT; either way the walk ends
    // and the indexes rise.
    std::vector<DeviceApi::DeviceIds> root;
    const bool walked = api.devicesOfEnumerator("ROOT", root);
    std::printf("ROOT walk %s, %zu devices\n", walked ? "made" : "refused", root.size());
    for (size_t i = 1; i < root.size(); ++i) EXPECT_GT(root[i].index, root[i - 1].index);
    EXPECT_FALSE(hasTarnwickId(root));

    // Inputs that name no list: the out list comes back empty.
    std::vector<DeviceApi::DeviceIds> none = display;
    EXPECT_FALSE(api.devicesOfClass("not a guid", none));
    EXPECT_TRUE(none.empty());
    none = display;
    EXPECT_FALSE(api.devicesOfEnumerator("", none));
    EXPECT_TRUE(none.empty());
}

TEST(VdDeviceWine, RemovingADeviceBeyondTheWalkRemovesNothing) {
    Win32DeviceApi api;
    std::vector<DeviceApi::DeviceIds> before;
    const bool walked = api.devicesOfEnumerator("ROOT", before);
    EXPECT_FALSE(api.removeDevice("ROOT", 1000000, "Root\\QuorvaneIdd"));
    EXPECT_FALSE(api.removeDevice("", 0, "Root\\QuorvaneIdd"));
    // A device whose first hardware id is not the expected one stays.
    EXPECT_FALSE(api.removeDevice("ROOT", 0, "Root\\QuorvaneIdd"));
    std::vector<DeviceApi::DeviceIds> after;
    EXPECT_EQ(api.devicesOfEnumerator("ROOT", after), walked);
    EXPECT_EQ(after.size(), before.size());
}

TEST(VdDeviceWine, SoftwareDeviceCreationFailsCleanlyWithoutTheSystemFunctions) {
    Win32DeviceApi api;
    for (bool outlive : {true, false}) {
        SCOPED_TRACE(outlive);
        DeviceApi::SoftwareDevice device;
        device.enumerator = "Quorvane";
        device.parent = "HTREE\\ROOT\\0";
        device.instanceId = "QuorvaneIdd";
        device.hardwareIds = {"Root\\QuorvaneIdd"};
        device.capabilities = 11;
        device.description = "Quorvane Virtual Display Adapter";
        device.outliveProcess = outlive;
        int32_t completion = 0;
        EXPECT_EQ(api.createSoftwareDevice(device, 10000, completion),
                  static_cast<int32_t>(HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND)));
        EXPECT_EQ(completion, static_cast<int32_t>(E_FAIL));
    }
}

// A key of the test's own under HKEY_LOCAL_MACHINE (the prefix runs
// elevated), removed with its values at the end.
class MachineKey {
public:
    MachineKey() : path_(L"Software\\QuorvaneTests\\vd-" + std::to_wstring(GetCurrentProcessId())) {
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                            nullptr) != ERROR_SUCCESS)
            key_ = nullptr;
    }
    ~MachineKey() {
        if (!key_) return;
        RegCloseKey(key_);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, path_.c_str());
    }
    MachineKey(const MachineKey&) = delete;
    MachineKey& operator=(const MachineKey&) = delete;

    bool ok() const { return key_ != nullptr; }
    std::string path() const { return narrow(path_); }
    void set(const wchar_t* name, DWORD type, const void* data, DWORD size) {
        RegSetValueExW(key_, name, 0, type, static_cast<const BYTE*>(data), size);
    }

private:
    std::wstring path_;
    HKEY key_ = nullptr;
};

TEST(VdDeviceWine, SystemInfoReadsMachineDwordsOnly) {
    Win32SystemInfo info;
    uint32_t value = 12345;
    EXPECT_FALSE(
        info.machineDword("SYSTEM\\CurrentControlSet\\Control\\SecureBoot\\State", "UEFISecureBootEnabled", value));
    EXPECT_EQ(value, 12345u);

    MachineKey key;
    ASSERT_TRUE(key.ok());
    const DWORD one = 1;
    const uint64_t wide = 1;
    const wchar_t text[] = L"1";
    key.set(L"dword", REG_DWORD, &one, sizeof(one));
    key.set(L"qword", REG_QWORD, &wide, sizeof(wide));
    key.set(L"text", REG_SZ, text, sizeof(text));
    struct Case {
        std::string value;
        bool found;
    };
    for (const Case& c : std::vector<Case>{{"dword", true}, {"qword", false}, {"text", false}, {"missing", false}}) {
        SCOPED_TRACE(c.value);
        value = 12345;
        EXPECT_EQ(info.machineDword(key.path(), c.value, value), c.found);
        EXPECT_EQ(value, c.found ? 1u : 12345u);
    }
}

TEST(VdDeviceWine, SystemInfoAnswersFromNtdll) {
    Win32SystemInfo info;
    uint32_t build = 0;
    ASSERT_TRUE(info.buildNumber(build));
    EXPECT_GT(build, 0u);
    std::printf("build number %u\n", build);

    uint32_t options = 0xFFFFFFFFu;
    const bool answered = info.codeIntegrityOptions(options);
    if (answered) {
        std::printf("code integrity options 0x%x\n", options);
    } else {
        std::printf("code integrity options not answered\n");
        EXPECT_EQ(options, 0xFFFFFFFFu);
    }
}

} // namespace
} // namespace qv::vdisplay
