#pragma once
#include "base/TickSource.h"

namespace qv {

class Win32TickSource final : public TickSource {
public:
    uint64_t milliseconds() override;
};

} // namespace qv
