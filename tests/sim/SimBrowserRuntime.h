#pragma once
#include "web/BrowserRuntime.h"

namespace qv::sim {

// The embedded browser runtime: installed or not. Counts the questions.
class SimBrowserRuntime final : public BrowserRuntime {
public:
    bool available() override {
        ++asked;
        return installed;
    }

    bool installed = false;
    int asked = 0;
};

} // namespace qv::sim
