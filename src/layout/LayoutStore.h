#pragma once
#include "base/ActionResult.h"
#include "base/JsonFile.h"
#include "layout/Layout.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace qv {

class DisplayManager;

// The user's saved layouts, in memory and in layouts.json beside the settings
// file. The in-memory list is the truth; the file is rewritten whole after
// every change. Names are not unique in a hand-edited file, but capturing a
// name replaces every layout of that name. User-interface thread only.
class LayoutStore {
public:
    // Reads layouts.json, every member with value-or-default semantics (a
    // member of the wrong type takes its default, an element that is not an
    // object is passed over). A missing file leaves the store empty and is no
    // error. A file that does not parse, or cannot be opened at all, leaves
    // the store untouched and yields false. Whenever the file holds something
    // the next save would drop, it is copied to layouts.json.bad first; when
    // no copy can be made, saves leave it alone for this run.
    bool load();

    // Writes the whole store through layouts.json.tmp, which is put on the
    // disk and moved over layouts.json, so a failure leaves the old file whole.
    bool save() const;

    // Saves the current arrangement under the name, replacing every layout of
    // that name; the new one goes to the end. False when there is no active
    // display or the save fails (the store keeps the change then).
    bool captureCurrent(const std::string& name, DisplayManager& displays);

    // Applies the first layout of that name: "Restored layout 'name'", or
    // "Layout 'name' already in effect" when nothing had to change.
    ActionResult restore(const std::string& name, DisplayManager& displays);

    // Removes every layout of that name and saves. False, without touching the
    // file, when there was none; false, keeping them, when the save fails.
    bool remove(const std::string& name);

    // The first layout whose displays are exactly the given keys, as a set
    // with repeats counted, in any order.
    std::optional<Layout> findForKeys(std::vector<std::string> keys) const;

    std::vector<std::string> names() const;
    const std::vector<Layout>& layouts() const { return layouts_; }

    // The name proposed when the user saves the current arrangement.
    std::string defaultName(size_t displayCount) const;

    static std::string layoutsPath();

private:
    bool write(const std::vector<Layout>& layouts) const;

    std::vector<Layout> layouts_;
    JsonFile file_{"layouts"};
};

} // namespace qv
