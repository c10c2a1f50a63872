#include "layout/LayoutStore.h"

#include "base/ActionResult.h"
#include "settings/Config.h"
#include "base/JsonFile.h"
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

// Turns a parsed layouts document into layouts. Members that are missing take
// their defaults; a member holding a value of another type than the file
// format gives is an error naming where it is, e.g.
// "layouts[1].displays[0].x: expected a whole number from -2147483648 to 2147483647".
class Reader {
public:
    // False with error() set when the document has a value of the wrong type.
    bool read(const json& doc, std::vector<Layout>& out) {
        out.clear();
        if (!doc.is_object()) {
            ignored_ = true;
            return true;
        }
        auto list = doc.find("layouts");
        if (list == doc.end()) return true;
        if (!list->is_array()) {
            ignored_ = true;
            return true;
        }
        for (size_t i = 0; i < list->size(); ++i) {
            Layout layout;
            if (!readLayout((*list)[i], strprintf("layouts[%zu]", i), layout)) return false;
            out.push_back(std::move(layout));
        }
        return true;
    }

    const std::string& error() const { return error_; }

    // True when the document held something the format says to pass over (a
    // top level that is no object, "layouts" or "displays" that is no array):
    // the next save drops it.
    bool ignoredSomething() const { return ignored_; }

private:
    bool readLayout(const json& element, const std::string& where, Layout& layout) {
        if (!element.is_object()) return fail(where, "expected an object");
        if (!readString(element, where, "name", layout.name)) return false;
        auto displays = element.find("displays");
        if (displays == element.end()) return true;
        if (!displays->is_array()) {
            ignored_ = true;
            return true;
        }
        for (size_t i = 0; i < displays->size(); ++i) {
            DisplayPlacement p;
            if (!readPlacement((*displays)[i], strprintf("%s.displays[%zu]", where.c_str(), i), p)) return false;
            layout.placements.push_back(std::move(p));
        }
        return true;
    }

    bool readPlacement(const json& element, const std::string& where, DisplayPlacement& p) {
        if (!element.is_object()) return fail(where, "expected an object");
        int64_t orientation = 0;
        bool ok = readString(element, where, "key", p.key) && readSigned(element, where, "x", p.x) &&
                  readSigned(element, where, "y", p.y) && readUnsigned(element, where, "width", p.width) &&
                  readUnsigned(element, where, "height", p.height) &&
                  readUnsigned(element, where, "refreshHz", p.refreshHz) &&
                  readOrientation(element, where, orientation) && readBool(element, where, "primary", p.primary);
        // Only the four documented orientations survive; anything else is landscape.
        p.orientation = (orientation >= 1 && orientation <= 3) ? static_cast<uint32_t>(orientation) : 0;
        return ok;
    }

    bool readString(const json& object, const std::string& where, const char* key, std::string& field) {
        auto it = object.find(key);
        if (it == object.end()) return true;
        if (!it->is_string()) return fail(where + "." + key, "expected a string");
        field = it->get<std::string>();
        return true;
    }

    bool readBool(const json& object, const std::string& where, const char* key, bool& field) {
        auto it = object.find(key);
        if (it == object.end()) return true;
        if (!it->is_boolean()) return fail(where + "." + key, "expected true or false");
        field = it->get<bool>();
        return true;
    }

    bool readSigned(const json& object, const std::string& where, const char* key, int32_t& field) {
        auto it = object.find(key);
        if (it == object.end()) return true;
        std::optional<int64_t> n = wholeNumber(*it);
        if (!n || *n < std::numeric_limits<int32_t>::min() || *n > std::numeric_limits<int32_t>::max())
            return fail(where + "." + key, "expected a whole number from -2147483648 to 2147483647");
        field = static_cast<int32_t>(*n);
        return true;
    }

    bool readUnsigned(const json& object, const std::string& where, const char* key, uint32_t& field) {
        auto it = object.find(key);
        if (it == object.end()) return true;
        std::optional<int64_t> n = wholeNumber(*it);
        if (!n || *n < 0 || *n > std::numeric_limits<uint32_t>::max())
            return fail(where + "." + key, "expected a whole number from 0 to 4294967295");
        field = static_cast<uint32_t>(*n);
        return true;
    }

    // Any number is accepted; values other than the whole numbers 1 to 3 read as 0.
    bool readOrientation(const json& object, const std::string& where, int64_t& field) {
        auto it = object.find("orientation");
        if (it == object.end()) return true;
        if (!it->is_number()) return fail(where + ".orientation", "expected a number");
        field = wholeNumber(*it).value_or(0);
        return true;
    }

    // The value of an integer JSON number that fits 64 signed bits.
    static std::optional<int64_t> wholeNumber(const json& v) {
        if (v.is_number_unsigned()) {
            uint64_t u = v.get<uint64_t>();
            if (u > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return std::nullopt;
            return static_cast<int64_t>(u);
        }
        if (v.is_number_integer()) return v.get<int64_t>();
        return std::nullopt;
    }

    bool fail(const std::string& where, const char* what) {
        error_ = where + ": " + what;
        return false;
    }

    std::string error_;
    bool ignored_ = false;
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
    return d;
}

JsonFile layoutsFile() { return JsonFile(LayoutStore::layoutsPath(), "layouts"); }

} // namespace

std::string LayoutStore::layoutsPath() { return configDir() + "\\layouts.json"; }

bool LayoutStore::load() {
    const JsonFile file = layoutsFile();
    json doc;
    std::string error;
    switch (file.read(doc, error)) {
    case JsonFile::ReadResult::Missing:
        return true;
    case JsonFile::ReadResult::Unreadable:
        break;
    case JsonFile::ReadResult::Ok: {
        Reader reader;
        std::vector<Layout> loaded;
        if (!reader.read(doc, loaded)) {
            error = reader.error();
            break;
        }
        // The format passes over some shapes; keep the file so nothing the user
        // wrote is lost when the next save replaces it.
        if (reader.ignoredSomething()) file.keepUnreadable();
        layouts_ = std::move(loaded);
        log::logf(log::Info, "Loaded %zu layout(s)", layouts_.size());
        return true;
    }
    }
    // Nothing of a half-read document is applied.
    log::logf(log::Error, "Layouts parse error: %s", error.c_str());
    file.keepUnreadable();
    return false;
}

bool LayoutStore::save() const {
    json list = json::array();
    for (const Layout& layout : layouts_) {
        json displays = json::array();
        for (const DisplayPlacement& p : layout.placements) displays.push_back(toJson(p));
        json entry = json::object();
        entry["name"] = layout.name;
        entry["displays"] = std::move(displays);
        list.push_back(std::move(entry));
    }
    json doc = json::object();
    doc["layouts"] = std::move(list);

    switch (layoutsFile().write(doc)) {
    case JsonFile::WriteResult::Ok:
        return true;
    case JsonFile::WriteResult::CannotOpen:
    case JsonFile::WriteResult::ReplaceFailed: // layouts.json itself refuses (read-only, locked)
        log::logf(log::Error, "Cannot open layouts.json for write");
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

bool LayoutStore::restore(const std::string& name, DisplayManager& displays) {
    auto it = std::find_if(layouts_.begin(), layouts_.end(), [&](const Layout& l) { return l.name == name; });
    if (it == layouts_.end()) {
        log::logf(log::Warn, "restore: layout '%s' not found", name.c_str());
        return false;
    }
    // A copy: applying the arrangement may run code that reads the store.
    const std::vector<DisplayPlacement> placements = it->placements;
    ActionResult result = displays.applyArrangement(placements);
    if (!result.ok) log::write(log::Warn, "restore: " + result.message);
    return result.ok;
}

bool LayoutStore::remove(const std::string& name) {
    if (std::erase_if(layouts_, [&](const Layout& l) { return l.name == name; }) == 0) return false;
    return save();
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
