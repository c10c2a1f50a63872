#pragma once
#include <optional>
#include <string>

namespace qv {

// The system's folder chooser (the common file dialog picking folders of
// the file system). The chosen folder's path, or nothing when the user
// cancels or the dialog cannot be shown.
class FolderPicker {
public:
    virtual ~FolderPicker() = default;
    virtual std::optional<std::string> pickFolder() = 0;
};

} // namespace qv
