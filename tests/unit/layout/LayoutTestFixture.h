#pragma once
#include "display/DisplayManager.h"
#include "layout/Layout.h"
#include "sim/SimDesktop.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace qv::test {

// The simulated desktop with the user's settings folder, and a display
// manager over it.
class LayoutFixture : public ::testing::Test {
protected:
    void SetUp() override {
        desk.createUserProfile();
        testing::internal::CaptureStderr(); // the log's copy of every line
    }

    void TearDown() override { testing::internal::GetCapturedStderr(); }

    // layouts.json text holding the layouts.
    static std::string fileWith(const std::vector<Layout>& layouts) {
        nlohmann::json list = nlohmann::json::array();
        for (const Layout& layout : layouts) {
            nlohmann::json displays = nlohmann::json::array();
            for (const DisplayPlacement& p : layout.placements) {
                displays.push_back({{"key", p.key},
                                    {"x", p.x},
                                    {"y", p.y},
                                    {"width", p.width},
                                    {"height", p.height},
                                    {"refreshHz", p.refreshHz},
                                    {"orientation", p.orientation},
                                    {"primary", p.primary}});
                if (p.refreshRate.known()) {
                    displays.back()["refreshNumerator"] = p.refreshRate.numerator;
                    displays.back()["refreshDenominator"] = p.refreshRate.denominator;
                }
                if (p.hdr) displays.back()["hdr"] = *p.hdr;
            }
            list.push_back({{"name", layout.name}, {"displays", displays}});
        }
        return nlohmann::json{{"layouts", list}}.dump();
    }

    // A placement that moves a display and keeps its mode.
    static DisplayPlacement at(const std::string& key, int32_t x, int32_t y, bool primary = false) {
        DisplayPlacement p;
        p.key = key;
        p.x = x;
        p.y = y;
        p.primary = primary;
        return p;
    }

    // Where the display with that key is now, from a fresh enumeration.
    std::pair<int32_t, int32_t> positionOf(const std::string& key) {
        for (const DisplayInfo& info : manager.enumerate())
            if (info.key == key) return {info.posX, info.posY};
        ADD_FAILURE() << "no display " << key;
        return {0, 0};
    }

    const std::string dir = "C:\\Users\\sim\\AppData\\Roaming\\Quorvane";
    const std::string path = dir + "\\layouts.json";
    const std::string temp = path + ".tmp";
    const std::string kept = path + ".bad";

    sim::SimDesktop desk;
    DisplayManager manager{desk.displays};
};

} // namespace qv::test
