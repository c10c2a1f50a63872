// The per-app audio override names: the image path of the application in
// front and the default values of the override subkeys Windows keeps, in a
// registry stand-in. The reset removes exactly the overrides whose value
// names the executable ("\" and its file name, ASCII case ignored), keeps
// every other, and counts what it removed.
#include "FuzzSupport.h"

#include "audio/AppAudioReset.h"
#include "base/Registry.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <map>

using namespace qv;

namespace {

// One key with subkeys that each have a string default value; names are
// compared without regard to ASCII case, as the registry compares them.
class Overrides final : public Registry {
public:
    std::map<std::string, std::string> values;  // subkey (lower case) -> default value

    static std::string lower(std::string text) {
        for (char& c : text)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return text;
    }

    int32_t openKey(Root root, const std::string& subKey, uint32_t, Key& key) override {
        if (root != Root::CurrentUser || subKey != AppAudioReset::kOverridesKey) return kFileNotFound;
        key = 1;
        return kSuccess;
    }
    int32_t queryValueType(Key, const std::string&, uint32_t&) override { return kFileNotFound; }
    int32_t setStringValue(Key, const std::string&, const std::string&) override { return kFileNotFound; }
    int32_t deleteValue(Key, const std::string&) override { return kFileNotFound; }
    int32_t enumSubKey(Key key, uint32_t index, std::string& name) override {
        QV_FUZZ_CHECK(key == 1, "enumerated another key");
        if (index >= values.size()) return kNoMoreItems;
        name = std::next(values.begin(), index)->first;
        return kSuccess;
    }
    int32_t getStringValue(Key key, const std::string& subKey, const std::string& name, std::string& text) override {
        QV_FUZZ_CHECK(key == 1 && name.empty(), "read another value");
        auto it = values.find(lower(subKey));
        if (it == values.end()) return kFileNotFound;
        // ERROR_MORE_DATA, winerror.h (learn.microsoft.com "System Error Codes (0-499)"):
        // the text does not fit RegGetValueW's 2048-byte buffer.
        if (it->second.size() >= 1024) return 234;
        text = it->second;
        return kSuccess;
    }
    int32_t deleteTree(Key key, const std::string& subKey) override {
        QV_FUZZ_CHECK(key == 1 && !subKey.empty(), "deleted from another key or the key itself");
        return values.erase(lower(subKey)) == 1 ? kSuccess : kFileNotFound;
    }
    void closeKey(Key) override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string imagePath = in.ConsumeRandomLengthString(120);
    Overrides registry;
    const size_t count = in.ConsumeIntegralInRange<size_t>(0, 6);
    for (size_t n = 0; n < count; ++n) {
        std::string name = Overrides::lower(in.ConsumeRandomLengthString(24));
        // Registry key names hold no backslash and are never empty.
        std::erase(name, '\\');
        if (name.empty()) name = "k" + std::to_string(n);
        registry.values[name] = in.ConsumeRandomLengthString(200);
    }
    const std::map<std::string, std::string> before = registry.values;

    const size_t cut = imagePath.find_last_of("\\/");
    const std::string exe = cut == std::string::npos ? imagePath : imagePath.substr(cut + 1);
    const std::string needle = "\\" + Overrides::lower(exe);

    AppAudioReset reset(registry);
    const AppAudioResetResult result = reset.resetAppAudio(imagePath);
    if (exe.empty()) {
        QV_FUZZ_CHECK(!result.ok && result.removed == 0 && registry.values == before, fuzz::shown(imagePath));
        return 0;
    }
    QV_FUZZ_CHECK(result.ok, fuzz::shown(imagePath));
    int32_t expected = 0;
    for (const auto& [name, value] : before) {
        const bool names = value.size() < 1024 && Overrides::lower(value).find(needle) != std::string::npos;
        expected += names ? 1 : 0;
        QV_FUZZ_CHECK(registry.values.count(name) == (names ? 0u : 1u),
                      fuzz::shown(imagePath) + " / " + fuzz::shown(name) + " = " + fuzz::shown(value));
    }
    QV_FUZZ_CHECK(result.removed == expected, fuzz::shown(imagePath));

    const AppAudioNotice notice = reset.resetFrontAppAudio(imagePath);
    QV_FUZZ_CHECK(!notice.title.empty() && !notice.text.empty(), fuzz::shown(imagePath));
    return 0;
}
