#pragma once
#include "base/Registry.h"

namespace qv {

// Registry access through advapi32.
class Win32Registry final : public Registry {
public:
    int32_t openKey(Root root, const std::string& subKey, uint32_t access, Key& key) override;
    int32_t queryValueType(Key key, const std::string& name, uint32_t& type) override;
    int32_t setStringValue(Key key, const std::string& name, const std::string& text) override;
    int32_t deleteValue(Key key, const std::string& name) override;
    int32_t enumSubKey(Key key, uint32_t index, std::string& name) override;
    int32_t getStringValue(Key key, const std::string& subKey, const std::string& name, std::string& text) override;
    int32_t deleteTree(Key key, const std::string& subKey) override;
    void closeKey(Key key) override;
};

} // namespace qv
