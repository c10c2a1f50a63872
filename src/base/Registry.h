#pragma once
#include <cstdint>
#include <string>

namespace qv {

// Registry keys and values. Names and string data are UTF-8; the Win32
// implementation converts to UTF-16 and passes every constant straight on.
// Calls return the Windows error code (0 on success).
class Registry {
public:
    // An open key; 0 is no key.
    using Key = uint64_t;

    // Predefined root keys, with their HKEY values (winreg.h defines each as
    // the LONG 0x8000000n; learn.microsoft.com "Predefined Keys").
    enum class Root : uint32_t {
        CurrentUser = 0x80000001,
        LocalMachine = 0x80000002,
    };

    // Access rights: winnt.h values, learn.microsoft.com "Registry Key Security
    // and Access Rights".
    static constexpr uint32_t kKeyQueryValue = 0x0001;
    static constexpr uint32_t kKeySetValue = 0x0002;
    static constexpr uint32_t kKeyCreateSubKey = 0x0004;
    static constexpr uint32_t kKeyRead = 0x20019;

    // Value types: winnt.h values, learn.microsoft.com "Registry Value Types".
    static constexpr uint32_t kRegSz = 1;
    static constexpr uint32_t kRegBinary = 3;
    static constexpr uint32_t kRegDword = 4;

    // Error codes: winerror.h values, learn.microsoft.com "System Error Codes (0-499)".
    static constexpr int32_t kSuccess = 0;
    static constexpr int32_t kFileNotFound = 2;
    static constexpr int32_t kNoMoreItems = 259;

    virtual ~Registry() = default;

    // RegOpenKeyExW.
    virtual int32_t openKey(Root root, const std::string& subKey, uint32_t access, Key& key) = 0;
    // RegQueryValueExW without a data buffer: only the value's type is read.
    virtual int32_t queryValueType(Key key, const std::string& name, uint32_t& type) = 0;
    // RegSetValueExW with REG_SZ; the byte count includes the UTF-16 text's
    // terminating NUL: (characters + 1) * 2.
    virtual int32_t setStringValue(Key key, const std::string& name, const std::string& text) = 0;
    // RegDeleteValueW.
    virtual int32_t deleteValue(Key key, const std::string& name) = 0;
    // RegEnumKeyExW: the name of the subkey at that index, read into a buffer
    // of 512 characters. kNoMoreItems past the last one.
    virtual int32_t enumSubKey(Key key, uint32_t index, std::string& name) = 0;
    // RegGetValueW restricted to REG_SZ (RRF_RT_REG_SZ) into a buffer of 2048
    // bytes; an empty name is the key's default value. Other types, and text
    // that does not fit, fail.
    virtual int32_t getStringValue(Key key, const std::string& subKey, const std::string& name,
                                   std::string& text) = 0;
    // RegDeleteTreeW: deletes the subkey with everything below it. An empty
    // name fails (ERROR_INVALID_PARAMETER) rather than emptying the open key.
    virtual int32_t deleteTree(Key key, const std::string& subKey) = 0;
    // RegCloseKey.
    virtual void closeKey(Key key) = 0;
};

} // namespace qv
