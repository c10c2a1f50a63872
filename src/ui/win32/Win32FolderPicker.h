#pragma once
#include "ui/FolderPicker.h"

namespace qv {

// IFileOpenDialog with FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM, shown without
// an owner.
class Win32FolderPicker final : public FolderPicker {
public:
    std::optional<std::string> pickFolder() override;
};

} // namespace qv
