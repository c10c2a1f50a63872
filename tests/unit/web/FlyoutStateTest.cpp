// The documents the flyout page renders from.
#include "web/FlyoutState.h"
#include "base/Version.h"
#include "display/ModeChoices.h"

#include "unit/CoreWorld.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace qv::test {
namespace {

using nlohmann::json;
using Sizes = std::vector<std::pair<uint32_t, uint32_t>>;

TEST(FlyoutModeChoices, ResolutionsByPixelCountAndRatesOfTheCurrentSize) {
    struct Case {
        const char* what;
        std::vector<DisplayMode> modes;
        uint32_t width, height;
        Sizes resolutions;
        std::vector<uint32_t> rates;
    };
    const std::vector<DisplayMode> mixed = {{1920, 1080, 60}, {3840, 2160, 60}, {1920, 1080, 144}, {2560, 1440, 60},
                                            {3840, 2160, 30}, {1920, 1080, 120}};
    std::vector<DisplayMode> thirty;
    for (uint32_t i = 1; i <= 30; ++i) thirty.push_back({640 + 32 * i, 480 + 18 * i, 60});
    Sizes largest24;
    for (uint32_t i = 30; i >= 7; --i) largest24.push_back({640 + 32 * i, 480 + 18 * i});
    const Case cases[] = {
        {"sizes once each, largest first; rates of the current size, highest first", mixed, 1920, 1080,
         {{3840, 2160}, {2560, 1440}, {1920, 1080}}, {144, 120, 60}},
        {"30 distinct sizes: the 24 largest", thirty, 672, 498, largest24, {60}},
        {"current size not in the list: no rates, and it is not added", mixed, 1680, 1050,
         {{3840, 2160}, {2560, 1440}, {1920, 1080}}, {}},
        {"a rate listed twice apart counts once", {{1920, 1080, 60}, {1280, 720, 60}, {1920, 1080, 60}}, 1920, 1080,
         {{1920, 1080}, {1280, 720}}, {60}},
        {"no modes", {}, 1920, 1080, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ModeChoices choices = modeChoices(c.modes, c.width, c.height, FlyoutState::kMaxResolutions);
        EXPECT_EQ(choices.resolutions, c.resolutions);
        EXPECT_EQ(choices.rates, c.rates);
    }
}

class FlyoutStateTest : public CoreWorld {
protected:
    void SetUp() override { desk.displays.laptopWithTwoDocked(); }

    // The document as the page receives it: the script's argument, parsed.
    json pushed(const Config* settings, const FlyoutHooks& hooks) {
        const std::string script = FlyoutState::stateScript(FlyoutState::state(bus, settings, hooks));
        const std::string head = "window.qvState(";
        EXPECT_EQ(script.rfind(head, 0), 0u);
        EXPECT_EQ(script.back(), ')');
        return json::parse(script.substr(head.size(), script.size() - head.size() - 1));
    }
};

TEST_F(FlyoutStateTest, DocumentWithoutHooks) {
    config.uiPanels = "audio,layouts";
    ASSERT_TRUE(bus.dispatch([] {
        Action a;
        a.kind = ActionKind::SaveLayout;
        a.name = "Büro";
        return a;
    }()).ok);
    const std::vector<DisplayInfo> system = manager.enumerate();
    config.displayNames[system[2].key] = "Gaming";

    const json doc = pushed(&config, FlyoutHooks{});
    EXPECT_EQ(doc["version"], kVersion);
    EXPECT_EQ(doc["projection"], "extend");
    EXPECT_EQ(doc["layouts"], json::array({"Büro"}));
    EXPECT_EQ(doc["canHD"], true);
    EXPECT_EQ(doc["can4K"], true);
    EXPECT_EQ(doc["uiPanels"], "audio,layouts");
    EXPECT_EQ(doc["welcome"], false);
    EXPECT_EQ(doc["fgWin"], false);
    for (const char* absent : {"spk", "mic", "fgApp"}) EXPECT_FALSE(doc.contains(absent)) << absent;

    ASSERT_EQ(doc["displays"].size(), 3u);
    const json& right = doc["displays"][2];
    EXPECT_EQ(right["key"], system[2].key); // the key stays; the user's name is shown
    EXPECT_EQ(right["name"], "Gaming");
    const json expected = {{"key", system[2].key}, {"name", "Gaming"}, {"w", 2560}, {"h", 1440}, {"hz", 144},
                           {"posX", 5760}, {"posY", 0}, {"active", true}, {"primary", false},
                           {"hdrSupported", false}, {"hdrEnabled", false}, {"preview", false},
                           {"recording", false}, {"ndi", false},
                           {"resList", {{2560, 1440}, {1920, 1200}, {1920, 1080}, {1600, 900}, {1280, 1024},
                                        {1280, 720}, {1024, 768}, {800, 600}, {640, 480}}},
                           {"hzList", {144, 60}}};
    EXPECT_EQ(right, expected);
    EXPECT_EQ(doc["displays"][0]["primary"], true);
}

TEST_F(FlyoutStateTest, HooksAddTheirMembers) {
    FlyoutHooks hooks;
    hooks.listAudio = [](bool capture) {
        return capture ? std::vector<AudioChoice>{{"{0.0.1}.{mic}", "Headset Mic", true}}
                       : std::vector<AudioChoice>{{"{0.0.0}.{a}", "Speakers", false}, {"{0.0.0}.{b}", "Headset", true}};
    };
    hooks.foregroundApp = [] { return std::string("notepad.exe"); };
    hooks.foregroundWindow = [] { return uint64_t{0x1234}; };
    hooks.welcomePending = [] { return true; };
    const std::vector<DisplayInfo> system = manager.enumerate();
    hooks.previewOpen = [&](const std::string& key) { return key == system[1].key; };
    hooks.recordingActive = [&](const std::string& key) { return key == system[0].key; };
    hooks.ndiActive = [&](const std::string& key) { return key == system[2].key; };

    const json doc = pushed(nullptr, hooks);
    EXPECT_EQ(doc["spk"], json::parse(R"([{"id":"{0.0.0}.{a}","name":"Speakers","def":false},
                                          {"id":"{0.0.0}.{b}","name":"Headset","def":true}])"));
    EXPECT_EQ(doc["mic"], json::parse(R"([{"id":"{0.0.1}.{mic}","name":"Headset Mic","def":true}])"));
    EXPECT_EQ(doc["fgApp"], "notepad.exe");
    EXPECT_EQ(doc["fgWin"], true);
    EXPECT_EQ(doc["welcome"], true);
    EXPECT_EQ(doc["uiPanels"], ""); // no settings
    const json& displays = doc["displays"];
    EXPECT_EQ(displays[0]["recording"], true);
    EXPECT_EQ(displays[1]["preview"], true);
    EXPECT_EQ(displays[2]["ndi"], true);
    EXPECT_EQ(displays[0]["preview"], false);

    hooks.foregroundWindow = [] { return uint64_t{0}; };
    hooks.foregroundApp = [] { return std::string(); };
    const json none = pushed(nullptr, hooks);
    EXPECT_EQ(none["fgWin"], false);
    EXPECT_EQ(none["fgApp"], "");
}

TEST_F(FlyoutStateTest, WithoutHDOr4KModesTheFlagsAreOff) {
    sim::SimDisplays small;
    sim::SimMonitor monitor = sim::SimMonitor::fromEdid({.width = 1680, .height = 1050});
    small.plug(monitor, 0, 0);
    DisplayManager smallManager{small};
    WindowPlacement smallPlacement{desk.windows, smallManager};
    ActionBus smallBus{smallManager, smallPlacement, layouts, config};
    const json doc = FlyoutState::state(smallBus, &config, FlyoutHooks{});
    EXPECT_EQ(doc["canHD"], false);
    EXPECT_EQ(doc["can4K"], false);
    EXPECT_EQ(doc["displays"][0]["hzList"], json::array({60}));
}

TEST(FlyoutLevels, FromTheTwoLevelReadsOrNothing) {
    const std::string kPrefix = "window.qvLevels&&window.qvLevels(";
    FlyoutHooks hooks;
    const std::string none = FlyoutState::levelsScript(hooks);
    EXPECT_EQ(none, kPrefix + R"({"mic":{"mute":false,"ok":false,"peak":0.0,"vol":0.0},)"
                              R"("spk":{"mute":false,"ok":false,"peak":0.0,"vol":0.0}}))");

    std::vector<bool> reads;
    hooks.audioLevel = [&reads](bool capture) {
        reads.push_back(capture);
        return capture ? FlyoutHooks::Level{true, 0.25f, true, 0.0f} : FlyoutHooks::Level{true, 0.5f, false, 0.75f};
    };
    EXPECT_EQ(FlyoutState::levelsScript(hooks),
              kPrefix + R"({"mic":{"mute":true,"ok":true,"peak":0.0,"vol":0.25},)"
                        R"("spk":{"mute":false,"ok":true,"peak":0.75,"vol":0.5}}))");
    EXPECT_EQ(reads, (std::vector<bool>{false, true})) << "the speakers are read first";
}

// Each number is the shortest text that reads back as the same float, and
// the document stays JSON whatever a driver reports.
TEST(FlyoutLevels, NumbersAreShortAndAlwaysJson) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
        float value;
        const char* text;
    } cases[] = {
        {0.8f, "0.8"}, {1.0f, "1.0"},     {0.0f, "0.0"},  {-0.0f, "-0.0"}, {0.123456789f, "0.12345679"},
        {1e-7f, "1e-07"}, {3.0e38f, "3e+38"}, {nan, "0.0"}, {inf, "0.0"},  {-inf, "0.0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        FlyoutHooks hooks;
        hooks.audioLevel = [&c](bool) { return FlyoutHooks::Level{true, c.value, false, c.value}; };
        const std::string script = FlyoutState::levelsScript(hooks);
        const std::string expected = std::string(R"("peak":)") + c.text + R"(,"vol":)" + c.text + "}";
        EXPECT_NE(script.find(expected), std::string::npos) << script;
        const std::string doc = script.substr(script.find('(') + 1, script.size() - script.find('(') - 2);
        const json parsed = json::parse(doc, nullptr, false);
        ASSERT_FALSE(parsed.is_discarded()) << doc;
        if (std::isfinite(c.value)) {
            EXPECT_EQ(parsed["spk"]["vol"].get<float>(), c.value);
        }
    }
}

} // namespace
} // namespace qv::test
