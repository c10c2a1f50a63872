#include "DisplayTestFixture.h"

#include <string>
#include <vector>

namespace qv::test {
namespace {

using sim::SimMonitor;

class DisplayQuery : public DisplayFixture {};

TEST_F(DisplayQuery, FailedQueryEmptiesTheCacheAndPrimaryKeyEnumeratesAgain) {
    struct Case {
        const char* what;
        std::function<void(sim::SimDisplays&)> fail;
        const char* logLine;
    };
    const Case cases[] = {
        {"size query", [](sim::SimDisplays& d) { d.failBufferSizes(31); },
         "GetDisplayConfigBufferSizes failed: A device attached to the system is not functioning (0x1F)"},
        {"query", [](sim::SimDisplays& d) { d.failQuery(87, 1); },
         "QueryDisplayConfig failed: The parameter is incorrect (0x57)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::SimDisplays machine;
        machine.laptopWithTwoDocked();
        DisplayManager displays(machine);
        ASSERT_EQ(displays.enumerate().size(), 3u);

        desk.debug.clear();
        c.fail(machine);
        EXPECT_TRUE(displays.enumerate().empty());
        EXPECT_TRUE(displays.cache().empty());
        EXPECT_FALSE(displays.find("BOE-0A1C"));
        EXPECT_TRUE(desk.debug.contains("ERR", c.logLine));

        machine.failBufferSizes(0);
        machine.clearCalls();
        EXPECT_EQ(displays.primaryKey(), "BOE-0A1C");
        EXPECT_EQ(machine.callsStartingWith("GetDisplayConfigBufferSizes").size(), 1u);
        EXPECT_EQ(displays.cache().size(), 3u);

        // With a filled cache primaryKey does not query again.
        machine.clearCalls();
        EXPECT_EQ(displays.primaryKey(), "BOE-0A1C");
        EXPECT_TRUE(machine.calls().empty());
    }
}

TEST_F(DisplayQuery, PrimaryKeyIsEmptyWithoutPrimaryDisplay) {
    desk.displays.plug(genericMonitor(), 1920, 0);
    EXPECT_EQ(manager.primaryKey(), "");
}

// A monitor plugged in between the size query and the query makes the buffers
// too small; the query is asked again with fresh sizes, a bounded number of times.
TEST_F(DisplayQuery, RetriesWhenTheConfigurationChangesBetweenSizeAndQuery) {
    struct Case {
        int changes;
        size_t displays;  // 0: the query gives up
    };
    const Case cases[] = {{0, 1}, {1, 2}, {2, 3}, {4, 5}, {5, 0}, {7, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.changes << " changes");
        sim::SimDisplays machine;
        machine.plug(genericMonitor({.serialNumber = 1}), 0, 0);
        for (int i = 0; i < c.changes; ++i)
            machine.afterSizeQuery([&machine, i] {
                machine.plug(genericMonitor({.serialNumber = uint32_t(100 + i)}), 1920 * (i + 1), 0);
            });
        DisplayManager displays(machine);
        desk.debug.clear();

        const std::vector<DisplayInfo> list = displays.enumerate();
        EXPECT_EQ(list.size(), c.displays);
        const size_t attempts = c.displays == 0 ? 5 : size_t(c.changes) + 1;
        EXPECT_EQ(machine.callsStartingWith("GetDisplayConfigBufferSizes").size(), attempts);
        EXPECT_EQ(machine.callsStartingWith("QueryDisplayConfig").size(), attempts);
        const bool loggedFailure =
            desk.debug.contains("ERR",
                                "QueryDisplayConfig failed: The data area passed to a system call is too small (0x7A)");
        EXPECT_EQ(loggedFailure, c.displays == 0);
        EXPECT_EQ(desk.debug.lines().empty(), c.displays != 0);
    }
}

TEST_F(DisplayQuery, RetryAsksForSizesBeforeEveryQuery) {
    desk.displays.plug(genericMonitor(), 0, 0);
    desk.displays.afterSizeQuery([this] { desk.displays.plug(genericMonitor({.serialNumber = 5}), 1920, 0); });
    std::vector<PathInfo> paths;
    std::vector<ModeInfo> modes;
    ASSERT_TRUE(manager.queryActivePaths(paths, modes));
    EXPECT_EQ(paths.size(), 2u);
    EXPECT_EQ(modes.size(), 4u);
    const std::vector<std::string> expected = {
        "GetDisplayConfigBufferSizes(QDC_ONLY_ACTIVE_PATHS)",
        "QueryDisplayConfig(QDC_ONLY_ACTIVE_PATHS, 1 paths, 2 modes)",
        "GetDisplayConfigBufferSizes(QDC_ONLY_ACTIVE_PATHS)",
        "QueryDisplayConfig(QDC_ONLY_ACTIVE_PATHS, 2 paths, 4 modes)",
    };
    EXPECT_EQ(desk.displays.calls(), expected);
}

TEST_F(DisplayQuery, OtherQueryErrorsAreNotRetried) {
    desk.displays.plug(genericMonitor(), 0, 0);
    desk.displays.failQuery(31, 1);
    std::vector<PathInfo> paths(3);
    std::vector<ModeInfo> modes(3);
    EXPECT_FALSE(manager.queryActivePaths(paths, modes));
    EXPECT_TRUE(paths.empty());
    EXPECT_TRUE(modes.empty());
    EXPECT_EQ(desk.displays.callsStartingWith("QueryDisplayConfig").size(), 1u);
}

TEST_F(DisplayQuery, QueryShrinksListsToWhatWasReturned) {
    // A monitor unplugged between the two calls: the lists were sized for two.
    const auto docked = desk.displays.laptopWithTwoDocked();
    desk.displays.afterSizeQuery([&] { desk.displays.unplug(docked.left); });
    std::vector<PathInfo> paths;
    std::vector<ModeInfo> modes;
    ASSERT_TRUE(manager.queryActivePaths(paths, modes));
    ASSERT_EQ(paths.size(), 2u);
    EXPECT_EQ(modes.size(), 4u);
    EXPECT_EQ(paths[1].targetInfo.id, docked.right);
    EXPECT_EQ(desk.displays.callsStartingWith("QueryDisplayConfig"),
              std::vector<std::string>{"QueryDisplayConfig(QDC_ONLY_ACTIVE_PATHS, 3 paths, 6 modes)"});
}

TEST_F(DisplayQuery, CurrentProjectionReadsTheDatabaseTopology) {
    struct Case {
        const char* what;
        std::function<void(sim::SimDisplays&)> arrange;
        Projection expected;
    };
    const Case cases[] = {
        {"laptop alone",
         [](sim::SimDisplays& d) {
             const auto docked = d.laptopWithTwoDocked();
             d.unplug(docked.left);
             d.unplug(docked.right);
         },
         Projection::Internal},
        {"docked", [](sim::SimDisplays& d) { d.laptopWithTwoDocked(); }, Projection::Extend},
        {"mirrored",
         [](sim::SimDisplays& d) {
             const auto docked = d.laptopWithTwoDocked();
             d.clone(docked.left, docked.laptop);
         },
         Projection::Clone},
        {"external only",
         [](sim::SimDisplays& d) {
             const auto docked = d.laptopWithTwoDocked();
             d.unplug(docked.laptop);
             d.unplug(docked.left);
         },
         Projection::External},
        {"unknown topology id",
         [](sim::SimDisplays& d) {
             d.laptopWithTwoDocked();
             d.setTopologyOverride(0x10);
         },
         Projection::Unknown},
        {"size query fails",
         [](sim::SimDisplays& d) {
             d.laptopWithTwoDocked();
             d.failBufferSizes(31);
         },
         Projection::Unknown},
        {"query fails",
         [](sim::SimDisplays& d) {
             d.laptopWithTwoDocked();
             d.failQuery(31, 1);
         },
         Projection::Unknown},
        {"configuration changes once",
         [](sim::SimDisplays& d) {
             d.plug(SimMonitor::fromEdid({}), 0, 0);
             d.afterSizeQuery([&d] { d.plug(SimMonitor::fromEdid({.serialNumber = 3}), 1920, 0); });
         },
         Projection::Extend},
        {"configuration keeps changing",
         [](sim::SimDisplays& d) {
             d.plug(SimMonitor::fromEdid({}), 0, 0);
             for (int i = 0; i < 5; ++i)
                 d.afterSizeQuery([&d, i] { d.plug(SimMonitor::fromEdid({.serialNumber = uint32_t(i)}), 0, 0); });
         },
         Projection::Unknown},
    };
    for (const Case& c : cases) {
        sim::SimDisplays machine;
        c.arrange(machine);
        machine.clearCalls();
        DisplayManager displays(machine);
        desk.debug.clear();
        EXPECT_EQ(displays.currentProjection(), c.expected) << c.what;
        EXPECT_TRUE(desk.debug.lines().empty()) << c.what;
        const std::vector<std::string> queries = machine.callsStartingWith("QueryDisplayConfig");
        for (const std::string& call : queries)
            EXPECT_EQ(call.rfind("QueryDisplayConfig(QDC_DATABASE_CURRENT, ", 0), 0u) << call;
        if (!queries.empty()) {
            EXPECT_NE(queries.back().find(", topology)"), std::string::npos) << c.what;
        }
        EXPECT_TRUE(displays.cache().empty()) << c.what;
    }
}

TEST(ProjectionName, NamesEveryValue) {
    EXPECT_STREQ(projectionName(Projection::Internal), "Internal");
    EXPECT_STREQ(projectionName(Projection::Clone), "Clone");
    EXPECT_STREQ(projectionName(Projection::Extend), "Extend");
    EXPECT_STREQ(projectionName(Projection::External), "External");
    EXPECT_STREQ(projectionName(Projection::Unknown), "Unknown");
    EXPECT_STREQ(projectionName(static_cast<Projection>(9)), "Unknown");
}

TEST_F(DisplayQuery, ModeListCollapsesAdjacentRepeatsOnly) {
    SimMonitor monitor = genericMonitor();
    monitor.modes = {
        {1920, 1080, 60, 32}, {1920, 1080, 60, 16},  // two colour depths next to each other
        {1280, 720, 60, 32},  {1920, 1080, 60, 8},   // the same size again, after another mode
        {1920, 1080, 144, 32}, {1920, 1080, 144, 32},
    };
    desk.displays.plug(monitor, 0, 0);
    desk.displays.plug(genericMonitor({.serialNumber = 9}), 1920, 0);
    const std::vector<DisplayInfo> list = manager.enumerate();
    ASSERT_EQ(list.size(), 2u);

    desk.displays.clearCalls();
    const std::vector<DisplayMode> modes = manager.modes(list[0].key);
    const std::vector<DisplayMode> expected = {
        {1920, 1080, 60}, {1280, 720, 60}, {1920, 1080, 60}, {1920, 1080, 144}};
    EXPECT_EQ(modes, expected);
    // Mode numbers 0..6 on the display's own GDI name; the seventh fails and ends the list.
    const std::vector<std::string> calls = desk.displays.calls();
    ASSERT_EQ(calls.size(), 7u);
    EXPECT_EQ(calls.front(), "EnumDisplaySettingsEx(\\\\.\\DISPLAY1, 0)");
    EXPECT_EQ(calls.back(), "EnumDisplaySettingsEx(\\\\.\\DISPLAY1, 6)");
}

TEST_F(DisplayQuery, ModeListLookups) {
    const uint32_t first = desk.displays.plug(genericMonitor(), 0, 0);
    desk.displays.plug(genericMonitor({.serialNumber = 9}), 1920, 0);

    // Empty cache: one enumeration, then the list.
    EXPECT_FALSE(manager.modes("ABC-1234").empty());
    EXPECT_EQ(desk.displays.callsStartingWith("GetDisplayConfigBufferSizes").size(), 1u);

    // Unknown key with a filled cache: no enumeration, empty list.
    desk.displays.clearCalls();
    EXPECT_TRUE(manager.modes("XYZ-0000").empty());
    EXPECT_TRUE(desk.displays.calls().empty());

    // A display without GDI name has no mode list.
    desk.displays.target(first).failSourceName = true;
    manager.enumerate();
    desk.displays.clearCalls();
    EXPECT_TRUE(manager.modes("ABC-1234").empty());
    EXPECT_TRUE(desk.displays.calls().empty());
}

TEST_F(DisplayQuery, ErrorTextFormatting) {
    struct Case {
        uint32_t code;
        const char* message;  // nullptr: no system message
        const char* text;
    };
    const Case cases[] = {
        {87, "The parameter is incorrect.\r\n", "The parameter is incorrect (0x57)"},
        {5, "Access is denied. \r\n", "Access is denied (0x5)"},
        {1234, "Wait... . .\n\r\n", "Wait (0x4D2)"},
        {1235, "First line.\r\nSecond line.\r\n", "First line.\r\nSecond line (0x4D3)"},
        {0x1F4, nullptr, "unknown error (0x1F4)"},
        {0xFFFFFFFF, nullptr, "unknown error (0xFFFFFFFF)"},
        {0x80070005, "Access is denied.", "Access is denied (0x80070005)"},
    };
    for (const Case& c : cases) {
        if (c.message != nullptr)
            desk.displays.setSystemMessage(c.code, c.message);
        EXPECT_EQ(manager.errorText(c.code), c.text);
    }
}

} // namespace
} // namespace qv::test
