#pragma once
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
    // Reads layouts.json. A missing file leaves the store empty and is no
    // error. A file that is not JSON, or holds a value of the wrong type, is
    // logged as a parse error, copied to layouts.json.bad (the next save would
    // overwrite it) and leaves the store untouched; the result is false.
    bool load();

    // Writes the whole store through layouts.json.tmp, which is put on the
    // disk and moved over layouts.json, so a failure leaves the old file whole.
    bool save() const;

    // Saves the current arrangement under the name, replacing every layout of
    // that name; the new one goes to the end. False when there is no active
    // display or the save fails (the store keeps the change then).
    bool captureCurrent(const std::string& name, DisplayManager& displays);

    // Applies the first layout of that name.
    bool restore(const std::string& name, DisplayManager& displays);

    // Removes every layout of that name and saves. False, without touching the
    // file, when there was none.
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
    std::vector<Layout> layouts_;
};

} // namespace qv
