#pragma once
#include "ui/ForegroundQuery.h"

namespace qv {

class Win32ForegroundQuery final : public ForegroundQuery {
public:
    ForegroundCapture capture() override;
};

} // namespace qv
