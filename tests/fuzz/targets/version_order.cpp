// Version texts as manifests and tags write them, three at a time (one per
// line). "Newer than" is a strict total order over what the texts mean:
// never both ways, never a version newer than itself, transitive, and two
// versions that are neither newer than the other are interchangeable.
#include "FuzzSupport.h"

#include "update/UpdateVersion.h"

using namespace qv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> v = fuzz::lines(fuzz::bytes(data, size), 3);
    while (v.size() < 3) v.emplace_back();
    const auto detail = [&] { return fuzz::shown(v[0]) + " | " + fuzz::shown(v[1]) + " | " + fuzz::shown(v[2]); };
    const auto newer = [](const std::string& a, const std::string& b) { return isNewerVersion(a, b); };
    const auto same = [&](const std::string& a, const std::string& b) { return !newer(a, b) && !newer(b, a); };

    for (size_t i = 0; i < 3; ++i) {
        QV_FUZZ_CHECK(!newer(v[i], v[i]), detail());
        QV_FUZZ_CHECK(splitVersion(v[i]) == splitVersion(v[i]), detail());
        for (size_t j = 0; j < 3; ++j) {
            QV_FUZZ_CHECK(!(newer(v[i], v[j]) && newer(v[j], v[i])), detail());
            QV_FUZZ_CHECK(same(v[i], v[j]) == (splitVersion(v[i]) == splitVersion(v[j])), detail());
            for (size_t k = 0; k < 3; ++k) {
                if (newer(v[i], v[j]) && newer(v[j], v[k])) QV_FUZZ_CHECK(newer(v[i], v[k]), detail());
                if (same(v[i], v[j]) && same(v[j], v[k])) QV_FUZZ_CHECK(same(v[i], v[k]), detail());
                if (same(v[i], v[j])) QV_FUZZ_CHECK(newer(v[i], v[k]) == newer(v[j], v[k]), detail());
            }
        }
    }
    // The written form of the three numbers means the same version.
    for (const std::string& text : v) {
        const std::array<int32_t, 3> n = splitVersion(text);
        const std::string written = std::to_string(n[0]) + "." + std::to_string(n[1]) + "." + std::to_string(n[2]);
        QV_FUZZ_CHECK(same(written, text), fuzz::shown(text) + " written as " + written);
    }
    return 0;
}
