#include "layout/LayoutStore.h"

#include "base/ActionResult.h"
#include "settings/Config.h"
#include "base/JsonFile.h"
#include "base/JsonNumbers.h"
#include "base/Log.h"
#include "base/StrPrintf.h"
#include "display/DisplayManager.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>

namespace qv {

namespace {

using nlohmann::json;

// Turns a parsed layouts document into layouts, each member with
// value-or-default semantics: a missing member takes its default, and so does
// a member holding a value of another type than the file format gives (a
// whole-number float such as 60.0 is a number). Elements that are not
// objects are passed over. Everything not taken is remembered with where it
// was, e.g. "layouts[1].displays[0].refreshHz: expected a whole number from 0
// to 4294967295", so the file can be kept before a save drops it.
class Reader {
public:
    std::vector<Layout> read(const json& doc) {
        std::vector<Layout> out;
        if (!doc.is_object()) {
            drop("(top level)", "expected an object");
            return out;
        }
        auto list = doc.find("layouts");
        if (list == doc.end()) return out;
        if (!list->is_array()) {
            drop("layouts", "expected an array");
            return out;
        }
        for (size_t i = 0; i < list->size(); ++i) {
            const json& element = (*list)[i];
            const std::string where = strprintf("layouts[%zu]", i);
            if (!element.is_object()) {
                drop(where, "expected an object");
                continue;
            }
            out.push_back(readLayout(element, where));
        }
        return out;
    }

    // "where: what was expected", one per value that was not taken.
    const std::vector<std::string>& dropped() const { return dropped_; }

private:
    Layout readLayout(const json& element, const std::string& where) {
        Layout layout;
        readString(element, where, "name", layout.name);
        auto displays = element.find("displays");
        if (displays == element.end()) return layout;
        if (!displays->is_array()) {
            drop(where + ".displays", "expected an array");
            return layout;
        }
        for (size_t i = 0; i < displays->size(); ++i) {
            const json& display = (*displays)[i];
            const std::string at = strprintf("%s.displays[%zu]", where.c_str(), i);
            if (!display.is_object()) {
                drop(at, "expected an object");
                continue;
            }
            layout.placements.push_back(readPlacement(display, at));
        }
        return layout;
    }

    DisplayPlacement readPlacement(const json& element, const std::string& where) {
        DisplayPlacement p;
        readString(element, where, "key", p.key);
        readSigned(element, where, "x", p.x);
        readSigned(element, where, "y", p.y);
        readUnsigned(element, where, "width", p.width);
        readUnsigned(element, where, "height", p.height);
        readUnsigned(element, where, "refreshHz", p.refreshHz);
        readOrientation(element, where, p.orientation);
        readBool(element, where, "primary", p.primary);
        readExactRate(element, where, p);
        auto hdr = element.find("hdr");
        if (hdr != element.end()) {
            if (hdr->is_boolean()) {
                p.hdr = hdr->get<bool>();
            } else {
                drop(where + ".hdr", "expected true or false");
            }
        }
        return p;
    }

    // "refreshNumerator" and "refreshDenominator", the exact rate behind
    // "refreshHz", which versions before them read alone. Taken only as a
    // pair of numbers above 0 that rounds to within 1 Hz of "refreshHz": a
    // "refreshHz" changed by hand without them is not overruled by a stale
    // exact rate.
    void readExactRate(const json& element, const std::string& where, DisplayPlacement& p) {
        const bool hasNumerator = element.contains("refreshNumerator");
        const bool hasDenominator = element.contains("refreshDenominator");
        if (!hasNumerator && !hasDenominator) return;
        RefreshRate rate;
        const size_t before = dropped_.size();
        readUnsigned(element, where, "refreshNumerator", rate.numerator);
        readUnsigned(element, where, "refreshDenominator", rate.denominator);
        if (dropped_.size() != before) return;
        if (!rate.known()) {
            drop(where + ".refreshNumerator", "expected with refreshDenominator, both above 0");
            return;
        }
        const uint32_t hz = rate.roundedHz();
        if (p.refreshHz == 0 || (hz > p.refreshHz ? hz - p.refreshHz : p.refreshHz - hz) > 1) {
            drop(where + ".refreshNumerator", "expected a rate within 1 Hz of refreshHz");
            return;
        }
        p.refreshRate = rate;
    }

    void readString(const json& object, const std::string& where, const char* key, std::string& field) {
        auto it = object.find(key);
        if (it == object.end()) return;
        if (it->is_string()) {
            field = it->get<std::string>();
        } else {
            drop(where + "." + key, "expected a string");
        }
    }

    void readBool(const json& object, const std::string& where, const char* key, bool& field) {
        auto it = object.find(key);
        if (it == object.end()) return;
        if (it->is_boolean()) {
            field = it->get<bool>();
        } else {
            drop(where + "." + key, "expected true or false");
        }
    }

    void readSigned(const json& object, const std::string& where, const char* key, int32_t& field) {
        auto it = object.find(key);
        if (it == object.end()) return;
        std::optional<int64_t> n = jsonWholeNumber(*it);
        if (n && *n >= std::numeric_limits<int32_t>::min() && *n <= std::numeric_limits<int32_t>::max()) {
            field = static_cast<int32_t>(*n);
        } else {
            drop(where + "." + key, "expected a whole number from -2147483648 to 2147483647");
        }
    }

    void readUnsigned(const json& object, const std::string& where, const char* key, uint32_t& field) {
        auto it = object.find(key);
        if (it == object.end()) return;
        std::optional<int64_t> n = jsonWholeNumber(*it);
        if (n && *n >= 0 && *n <= std::numeric_limits<uint32_t>::max()) {
            field = static_cast<uint32_t>(*n);
        } else {
            drop(where + "." + key, "expected a whole number from 0 to 4294967295");
        }
    }

    // Any number is taken; values other than the whole numbers 1 to 3 read as
    // landscape, as the file format says.
    void readOrientation(const json& object, const std::string& where, uint32_t& field) {
        auto it = object.find("orientation");
        if (it == object.end()) return;
        if (!it->is_number()) {
            drop(where + ".orientation", "expected a number");
            return;
        }
        const int64_t n = jsonWholeNumber(*it).value_or(0);
        field = (n >= 1 && n <= 3) ? static_cast<uint32_t>(n) : 0;
    }

    void drop(const std::string& where, const char* what) { dropped_.push_back(where + ": " + what); }

    std::vector<std::string> dropped_;
};

json toJson(const DisplayPlacement& p) {
    json d = json::object();
    d["key"] = p.key;
    d["x"] = p.x;
    d["y"] = p.y;
    d["width"] = p.width;
    d["height"] = p.height;
    d["refreshHz"] = p.refreshHz;
    d["orientation"] = p.orientation;
    d["primary"] = p.primary;
    // Optional members later versions added; older ones pass over them.
    if (p.refreshRate.known()) {
        d["refreshNumerator"] = p.refreshRate.numerator;
        d["refreshDenominator"] = p.refreshRate.denominator;
    }
    if (p.hdr) d["hdr"] = *p.hdr;
    return d;
}

} // namespace

std::string LayoutStore::layoutsPath() { return configDir() + "\\layouts.json"; }

bool LayoutStore::load() {
    const std::string path = layoutsPath();
    json doc;
    std::string error;
    switch (file_.read(path, doc, error)) {
    case JsonFile::ReadResult::Missing:
        return true;
    case JsonFile::ReadResult::CannotOpen:
        // The layouts are there but out of reach: start without them, and
        // never write an empty store over them.
        log::logf(log::Error, "Cannot open layouts.json for read: %s", error.c_str());
        file_.keepBeforeReplacing(path);
        return false;
    case JsonFile::ReadResult::Unreadable:
        // Nothing of a document that does not parse is applied.
        log::logf(log::Error, "Layouts parse error: %s", error.c_str());
        file_.keepBeforeReplacing(path);
        return false;
    case JsonFile::ReadResult::Ok:
        break;
    }
    Reader reader;
    layouts_ = reader.read(doc);
    if (!reader.dropped().empty()) {
        for (const std::string& what : reader.dropped())
            log::logf(log::Warn, "Layouts value ignored: %s", what.c_str());
        file_.keepBeforeReplacing(path);
    }
    log::logf(log::Info, "Loaded %zu layout(s)", layouts_.size());
    return true;
}

bool LayoutStore::save() const { return write(layouts_); }

bool LayoutStore::write(const std::vector<Layout>& layouts) const {
    json list = json::array();
    for (const Layout& layout : layouts) {
        json displays = json::array();
        for (const DisplayPlacement& p : layout.placements) displays.push_back(toJson(p));
        json entry = json::object();
        entry["name"] = layout.name;
        entry["displays"] = std::move(displays);
        list.push_back(std::move(entry));
    }
    json doc = json::object();
    doc["layouts"] = std::move(list);

    switch (file_.write(layoutsPath(), doc)) {
    case JsonFile::WriteResult::Ok:
        return true;
    case JsonFile::WriteResult::CannotOpen:
    case JsonFile::WriteResult::ReplaceFailed: // layouts.json itself refuses (read-only, locked)
        log::logf(log::Error, "Cannot open layouts.json for write");
        return false;
    case JsonFile::WriteResult::Protected:
        log::logf(log::Error, "Layouts not saved: layouts.json could not be read at start and no copy of it could be made");
        return false;
    case JsonFile::WriteResult::WriteFailed:
        break;
    }
    log::logf(log::Error, "Layouts write failed");
    return false;
}

bool LayoutStore::captureCurrent(const std::string& name, DisplayManager& displays) {
    std::vector<DisplayPlacement> snapshot = displays.placementSnapshot();
    if (snapshot.empty()) {
        log::logf(log::Warn, "captureCurrent: no active displays to capture");
        return false;
    }
    std::erase_if(layouts_, [&](const Layout& l) { return l.name == name; });
    layouts_.push_back(Layout{name, std::move(snapshot)});
    return save();
}

ActionResult LayoutStore::restore(const std::string& name, DisplayManager& displays) {
    auto it = std::find_if(layouts_.begin(), layouts_.end(), [&](const Layout& l) { return l.name == name; });
    if (it == layouts_.end()) {
        log::logf(log::Warn, "restore: layout '%s' not found", name.c_str());
        return ActionResult::failure("Layout '" + name + "' not found");
    }
    // A copy: applying the arrangement may run code that reads the store.
    const std::vector<DisplayPlacement> placements = it->placements;
    ActionResult result = displays.applyArrangement(placements);
    if (!result.ok) {
        log::write(log::Warn, "restore: " + result.message);
        return result;
    }
    if (result.message == DisplayManager::ArrangementInEffect)
        return ActionResult::success("Layout '" + name + "' already in effect");
    return ActionResult::success("Restored layout '" + name + "'");
}

bool LayoutStore::remove(const std::string& name) {
    std::vector<Layout> rest = layouts_;
    if (std::erase_if(rest, [&](const Layout& l) { return l.name == name; }) == 0) return false;
    // What the user sees stays what the file holds: a layout whose removal
    // could not be saved is still there.
    if (!write(rest)) return false;
    layouts_ = std::move(rest);
    return true;
}

std::optional<Layout> LayoutStore::findForKeys(std::vector<std::string> keys) const {
    std::sort(keys.begin(), keys.end());
    for (const Layout& layout : layouts_) {
        if (layout.placements.size() != keys.size()) continue;
        std::vector<std::string> saved;
        saved.reserve(layout.placements.size());
        for (const DisplayPlacement& p : layout.placements) saved.push_back(p.key);
        std::sort(saved.begin(), saved.end());
        if (saved == keys) return layout;
    }
    return std::nullopt;
}

std::vector<std::string> LayoutStore::names() const {
    std::vector<std::string> out;
    out.reserve(layouts_.size());
    for (const Layout& layout : layouts_) out.push_back(layout.name);
    return out;
}

std::string LayoutStore::defaultName(size_t displayCount) const {
    return strprintf("Layout %zu (%zu displays)", layouts_.size() + 1, displayCount);
}

} // namespace qv
