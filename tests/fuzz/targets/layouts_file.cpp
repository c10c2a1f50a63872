// layouts.json as the user (or another program) left it. Reading never
// changes the file; a file that loads, saved and loaded again, gives the same
// layouts, and saving that again writes the same bytes; a file that does
// not load is never written over unless a copy of it was kept. An exact
// refresh rate is only ever taken whole and within 1 Hz of "refreshHz".
#include "FuzzSupport.h"

#include "base/JsonFile.h"

#include <nlohmann/json.hpp>

using namespace qv;

namespace {

std::string describe(const LayoutStore& store) {
    nlohmann::json list = nlohmann::json::array();
    for (const Layout& layout : store.layouts()) {
        nlohmann::json displays = nlohmann::json::array();
        for (const DisplayPlacement& p : layout.placements)
            displays.push_back({p.key, p.x, p.y, p.width, p.height, p.refreshHz, p.orientation, p.primary,
                                p.refreshRate.numerator, p.refreshRate.denominator,
                                p.hdr ? nlohmann::json(*p.hdr) : nlohmann::json()});
        list.push_back({layout.name, displays});
    }
    return list.dump(-1, ' ', true, nlohmann::json::error_handler_t::replace);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text = fuzz::bytes(data, size);
    fuzz::Disk disk;
    const std::string path = LayoutStore::layoutsPath();
    const std::string kept = JsonFile::keptPath(path);
    disk.files.setFile(path, text);

    LayoutStore first;
    const bool loaded = first.load();
    QV_FUZZ_CHECK(disk.files.content(path) == text, "reading changed the file");
    if (disk.files.fileExists(kept)) QV_FUZZ_CHECK(disk.files.content(kept) == text, "the kept copy differs");
    for (const Layout& layout : first.layouts())
        for (const DisplayPlacement& p : layout.placements)
            QV_FUZZ_CHECK(p.orientation <= 3, describe(first));
    // An exact rate is taken only whole and near the whole rate beside it,
    // which older versions read alone.
    for (const Layout& layout : first.layouts())
        for (const DisplayPlacement& p : layout.placements)
            if (p.refreshRate.known() || p.refreshRate.numerator != 0 || p.refreshRate.denominator != 0)
                QV_FUZZ_CHECK(p.refreshRate.known() && p.refreshHz != 0 &&
                                  uint64_t{p.refreshRate.roundedHz()} + 1 >= p.refreshHz &&
                                  p.refreshRate.roundedHz() <= uint64_t{p.refreshHz} + 1,
                              describe(first));

    if (!loaded) {
        QV_FUZZ_CHECK(first.layouts().empty(), "a file that did not load gave layouts " + describe(first));
        first.save();
        QV_FUZZ_CHECK(disk.files.content(path) == text || disk.files.content(kept) == text,
                      "a file that did not load was written over without a copy");
        return 0;
    }

    QV_FUZZ_CHECK(first.save(), "the loaded layouts could not be saved");
    const std::string saved = disk.files.content(path);
    LayoutStore second;
    QV_FUZZ_CHECK(second.load(), "the saved file does not load: " + fuzz::shown(saved));
    QV_FUZZ_CHECK(describe(second) == describe(first),
                  "loaded:   " + describe(first) + "\nreloaded: " + describe(second));
    QV_FUZZ_CHECK(second.save(), "the reloaded layouts could not be saved");
    QV_FUZZ_CHECK(disk.files.content(path) == saved, "saving the same layouts again wrote other bytes");
    return 0;
}
