// Every message of the flyout page, against the real action bus on the
// simulated desktop, recording callbacks and a recording flyout window.
#include "web/FlyoutCommands.h"

#include "base/StrPrintf.h"
#include "unit/CoreObjects.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <deque>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace qv::test {
namespace {

using nlohmann::json;

const std::string kLaptop = "BOE-0A1C";
const std::string kLeft = "DEL-41A8-0x4C4B3033";
const std::string kRight = "GSM-5B09-205NTABC1234";

// An action as one line: its kind and the fields it carries.
std::string describe(const Action& a) {
    std::string s = actionKindName(a.kind);
    if (!a.display.empty()) s += " " + a.display;
    for (size_t i = 0; i < a.displays.size(); ++i) s += (i == 0 ? " [" : ",") + a.displays[i] + (i + 1 == a.displays.size() ? "]" : "");
    if (a.width != 0 || a.height != 0) s += strprintf(" %dx%d", a.width, a.height);
    if (a.refreshHz != 0) s += strprintf(" @%d", a.refreshHz);
    if (!a.name.empty()) s += " '" + a.name + "'";
    if (a.cell != 0) s += strprintf(" cell %d", a.cell);
    if (a.window != 0) s += strprintf(" window %llx", static_cast<unsigned long long>(a.window));
    for (const DisplayPlacement& p : a.placements)
        s += strprintf(" {%s %d,%d %ux%u@%u o%u%s}", p.key.c_str(), p.x, p.y, p.width, p.height, p.refreshHz,
                       p.orientation, p.primary ? " primary" : "");
    return s;
}

// The program's core on a docked laptop, the flyout's callbacks and window,
// all recording into one log in call order; dispatched actions go to their
// own list.
struct FlyoutWorld : CoreObjects, FlyoutCommands::Panel {
    FlyoutWorld() {
        docked = desk.displays.laptopWithTwoDocked();
        bus.setResultListener([this](const Action& a, const ActionResult&) { dispatched.push_back(describe(a)); });
        const auto note = [this](std::string line) { calls.push_back(std::move(line)); };
        hooks.welcomeDone = [=] { note("welcomeDone"); };
        hooks.setDefaultAudio = [=](const std::string& id, bool capture) {
            note("setDefaultAudio " + id + (capture ? " capture" : " playback"));
        };
        hooks.foregroundWindow = [] { return uint64_t{0x1234}; };
        hooks.resetAppAudio = [=] { note("resetAppAudio"); };
        hooks.setVolume = [=](float v, bool capture) { note(strprintf("setVolume %.2f%s", v, capture ? " capture" : " playback")); };
        hooks.setMute = [=](bool on, bool capture) {
            note(std::string("setMute ") + (on ? "on" : "off") + (capture ? " capture" : " playback"));
        };
        hooks.togglePreview = [=](const std::string& key) { note("togglePreview " + key); };
        hooks.toggleRecording = [=](const std::string& key) { note("toggleRecording " + key); };
        hooks.toggleRegionRecording = [=](const std::string& key) { note("toggleRegionRecording " + key); };
        hooks.toggleNdi = [=](const std::string& key) { note("toggleNdi " + key); };
        hooks.toggleRegionNdi = [=](const std::string& key) { note("toggleRegionNdi " + key); };
        hooks.openSettings = [=] { note("openSettings"); };
        hooks.openArrangement = [=] { note("openArrangement"); };
        hooks.openRecordings = [=] { note("openRecordings"); };
        manager.enumerate();
        dispatched.clear();
    }

    void resize(int32_t height) override { calls.push_back(strprintf("resize %d", height)); }
    void hide() override { calls.push_back("hide"); }
    void post(std::function<void()> task) override {
        calls.push_back("post");
        tasks.push_back(std::move(task));
    }
    void pushState() override { calls.push_back("push"); }
    void quit(int exitCode) override { calls.push_back(strprintf("quit %d", exitCode)); }

    // The window runs the deferred tasks once the message callback is over.
    void runTasks() {
        while (!tasks.empty()) {
            std::function<void()> task = std::move(tasks.front());
            tasks.pop_front();
            task();
        }
    }

    sim::SimDisplays::Docked docked{};
    FlyoutHooks hooks;
    FlyoutCommands commands{&bus, &config, hooks, *this};
    std::vector<std::string> dispatched;
    std::vector<std::string> calls;
    std::deque<std::function<void()>> tasks;
};

struct Case {
    std::string message;
    std::vector<std::string> dispatched;
    std::vector<std::string> calls; // callbacks and window calls, in order, after deferred tasks ran
    std::function<void(FlyoutWorld&)> check = nullptr;
};

void run(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        FlyoutWorld world;
        world.commands.onWebMessage(c.message);
        world.runTasks();
        EXPECT_EQ(world.dispatched, c.dispatched);
        EXPECT_EQ(world.calls, c.calls);
        if (c.check) c.check(world);
    }
}

const std::string kLaptopNow = "{" + kLaptop + " 0,0 1920x1200@60 o0 primary}";
const std::string kLeftNow = "{" + kLeft + " 1920,0 3840x2160@60 o0}";
const std::string kRightNow = "{" + kRight + " 5760,0 2560x1440@144 o0}";

TEST(FlyoutCommands, TopLevelMessages) {
    run({
        {R"({"type":"size","h":700})", {}, {"resize 700"}},
        {R"({"type":"size"})", {}, {"resize 520"}},
        {R"({"type":"close"})", {}, {"hide"}},
        {R"({"type":"ui","panels":"audio,layouts"})", {}, {},
         [](FlyoutWorld& w) {
             EXPECT_EQ(w.config.uiPanels, "audio,layouts");
             Config saved;
             ASSERT_TRUE(saved.load());
             EXPECT_EQ(saved.uiPanels, "audio,layouts");
         }},
        {R"({"type":"welcomeDone"})", {}, {"welcomeDone", "push"}},
        {R"({"type":"proj","mode":"internal"})", {"ProjectionInternal"}, {"push"}},
        {R"({"type":"proj","mode":"clone"})", {"ProjectionClone"}, {"push"}},
        {R"({"type":"proj","mode":"extend"})", {"ProjectionExtend"}, {"push"}},
        {R"({"type":"proj","mode":"external"})", {"ProjectionExternal"}, {"push"}},
        {R"({"type":"proj","mode":"Extend"})", {}, {"push"}},
        {R"({"type":"pushNative"})", {"PushNativeResolutions"}, {"push"}},
        {R"({"type":"pushMax"})", {"PushMaxResolutions"}, {"push"}},
        {R"({"type":"pushRes","w":1920,"h":1080})", {"PushResolutionAll 1920x1080"}, {"push"}},
        // The dragged display lands where the page put it; the others stay.
        {R"({"type":"arrangeMap","key":")" + kLeft + R"(","x":-3840,"y":0})",
         {"ApplyArrangement " + kLaptopNow + " {" + kLeft + " -3840,0 3840x2160@60 o0} " + kRightNow}, {"push"}},
        {R"({"type":"arrangeMap","key":")" + kRight + R"(","y":-300})",
         {"ApplyArrangement " + kLaptopNow + " " + kLeftNow + " {" + kRight + " 5760,-300 2560x1440@144 o0}"},
         {"push"}},
        {R"({"type":"setaud","cap":true,"id":"{0.0.1}.{mic}"})", {}, {"setDefaultAudio {0.0.1}.{mic} capture", "push"}},
        // A volume step pushes no state: the levels ticks carry the volume.
        {R"({"type":"setvol","vol":0.5})", {}, {"setVolume 0.50 playback"}},
        {R"({"type":"setvol","cap":true,"vol":1})", {}, {"setVolume 1.00 capture"}},
        {R"({"type":"setmute","cap":false,"on":true})", {}, {"setMute on playback", "push"}},
        {R"({"type":"fixapp"})", {}, {"hide", "resetAppAudio", "push"}},
        {R"({"type":"flip"})", {"FlipArrangement"}, {"push"}},
        {R"({"type":"refresh"})", {"RefreshDisplays"}, {"push"}},
        {R"({"type":"windows","do":"restore"})", {"RestoreWindows"}, {"push"}},
        {R"({"type":"windows","do":"rescue"})", {"RescueWindows"}, {"push"}},
        {R"({"type":"windows","do":"Rescue"})", {}, {}},
        {R"({"type":"windows"})", {}, {}},
        {R"({"type":"mirror","a":")" + kLaptop + R"(","b":")" + kLeft + R"("})",
         {"MirrorSpecific [" + kLaptop + "," + kLeft + "]"}, {"push"}},
        {R"({"type":"layoutSave"})", {"SaveLayout 'Layout 1 (3 displays)'"}, {"push"}},
        {R"({"type":"layoutRestore","name":"Desk"})", {"RestoreLayout 'Desk'"}, {"push"}},
        {R"({"type":"layoutDelete","name":"Desk"})", {"DeleteLayout 'Desk'"}, {"push"}},
        {R"({"type":"open","what":"settings"})", {}, {"hide", "openSettings"}},
        {R"({"type":"open","what":"arrange"})", {}, {"hide", "openArrangement"}},
        {R"({"type":"open","what":"recordings"})", {}, {"openRecordings"}}, // the flyout stays open
        {R"({"type":"open","what":"downloads"})", {}, {}},
        {R"({"type":"exit"})", {"Exit"}, {"quit 0"}},
        // Nothing happens for what is not a known message.
        {R"({"type":"teleport"})", {}, {}},
        {R"({"type":"proj","mode":"extend")", {}, {}},
        {R"(["proj"])", {}, {}},
        {R"({"type":7})", {}, {}},
        {R"({"mode":"extend"})", {}, {}},
        {"", {}, {}},
    });
}

TEST(FlyoutCommands, DisplayMessagesCarryTheirKey) {
    const std::string disp = R"({"type":"disp","key":")" + kLeft + R"(",)";
    run({
        {disp + R"("act":"res","w":2560,"h":1440})", {"SetResolution " + kLeft + " 2560x1440"}, {"push"}},
        {disp + R"("act":"hz","hz":30})", {"SetRefreshRate " + kLeft + " @30"}, {"push"}},
        {disp + R"("act":"rotate"})", {"RotateNext " + kLeft}, {"push"}},
        {disp + R"("act":"primary"})", {"SetPrimary " + kLeft}, {"push"}},
        {disp + R"("act":"enable"})", {"EnableDisplay " + kLeft}, {"push"}},
        {disp + R"("act":"disable"})", {"DisableDisplay " + kLeft}, {"push"}},
        {disp + R"("act":"hdr"})", {"ToggleHdr " + kLeft}, {"push"}},
        {disp + R"("act":"gather"})", {"GatherWindows " + kLeft}, {"push"}},
        {disp + R"("act":"tile"})", {"TileWindows " + kLeft + " '2x2'"}, {"push"}},
        {disp + R"("act":"tile","grid":"3x2"})", {"TileWindows " + kLeft + " '3x2'"}, {"push"}},
        // The window snapped is the one in front when the flyout opened.
        {disp + R"("act":"snap","grid":"3x2","cell":4})", {"SnapWindow " + kLeft + " '3x2' cell 4 window 1234"},
         {"push"}},
        {disp + R"("act":"rename","name":"Big one"})", {"RenameDisplay " + kLeft + " 'Big one'"}, {"push"}},
        {disp + R"("act":"rename"})", {"RenameDisplay " + kLeft}, {"push"}},
        {disp + R"("act":"preview"})", {}, {"togglePreview " + kLeft, "push"}},
        {disp + R"("act":"record"})", {}, {"toggleRecording " + kLeft, "push"}},
        {disp + R"("act":"ndi"})", {}, {"toggleNdi " + kLeft, "push"}},
        // The region picker runs after the message callback, with the flyout gone.
        {disp + R"("act":"recordRegion"})", {}, {"hide", "post", "toggleRegionRecording " + kLeft}},
        {disp + R"("act":"ndiRegion"})", {}, {"hide", "post", "toggleRegionNdi " + kLeft}},
        {disp + R"("act":"explode"})", {}, {}},
        {R"({"type":"disp","act":"rotate"})", {"RotateNext"}, {"push"}}, // no key: the bus decides
    });
}

TEST(FlyoutCommands, RegionTogglesRunOnlyAfterTheCallbackReturns) {
    FlyoutWorld world;
    world.commands.onWebMessage(R"({"type":"disp","key":"K","act":"recordRegion"})");
    EXPECT_EQ(world.calls, (std::vector<std::string>{"hide", "post"}));
    world.runTasks();
    EXPECT_EQ(world.calls.back(), "toggleRegionRecording K");
}

TEST(FlyoutCommands, UnsetCallbacksLeaveOnlyTheStatePush) {
    FlyoutWorld world;
    world.hooks = FlyoutHooks{};
    for (const char* message : {R"({"type":"setaud","id":"x"})", R"({"type":"disp","key":"K","act":"preview"})",
                                R"({"type":"welcomeDone"})", R"({"type":"disp","key":"K","act":"snap"})"}) {
        world.commands.onWebMessage(message);
    }
    world.commands.onWebMessage(R"({"type":"open","what":"settings"})");
    world.commands.onWebMessage(R"({"type":"disp","key":"K","act":"ndiRegion"})");
    world.runTasks();
    EXPECT_EQ(world.calls, (std::vector<std::string>{"push", "push", "push", "push", "hide", "hide", "post"}));
    EXPECT_EQ(world.dispatched, std::vector<std::string>{"SnapWindow K '2x2'"}); // no window: none to snap
}

TEST(FlyoutCommands, LayoutNameCountsSavedLayoutsAndDisplays) {
    FlyoutWorld world;
    for (int i = 0; i < 3; ++i) world.commands.onWebMessage(R"({"type":"layoutSave"})");
    world.desk.displays.unplug(world.docked.right);
    world.commands.onWebMessage(R"({"type":"layoutSave"})");
    EXPECT_EQ(world.layouts.names(), (std::vector<std::string>{"Layout 1 (3 displays)", "Layout 2 (3 displays)",
                                                               "Layout 3 (3 displays)", "Layout 4 (2 displays)"}));
}

TEST(FlyoutCommands, WithoutABusNothingHappens) {
    FlyoutWorld world;
    FlyoutCommands noBus(nullptr, &world.config, world.hooks, world);
    for (const char* message : {R"({"type":"close"})", R"({"type":"exit"})", R"({"type":"size","h":600})",
                                R"({"type":"disp","key":"K","act":"preview"})"})
        noBus.onWebMessage(message);
    EXPECT_TRUE(world.calls.empty());
    EXPECT_TRUE(world.dispatched.empty());

    FlyoutCommands noSettings(&world.bus, nullptr, world.hooks, world);
    noSettings.onWebMessage(R"({"type":"ui","panels":"audio"})");
    EXPECT_EQ(world.config.uiPanels, "");
}

// One member of a message with another JSON type: the message does nothing.
TEST(FlyoutCommands, AWrongTypedMemberDoesNothing) {
    const std::vector<std::string> messages = {
        R"({"type":"size","h":"700"})",
        R"({"type":"size","h":700.5})",
        R"({"type":"ui","panels":["audio"]})",
        R"({"type":"proj","mode":2})",
        R"({"type":"pushRes","w":1920,"h":null})",
        R"({"type":"pushRes","w":4294967296,"h":1080})",
        R"({"type":"arrangeMap","key":")" + kLeft + R"(","x":"-3840"})",
        R"({"type":"arrangeMap","key":{},"x":0})",
        R"({"type":"setaud","cap":"yes","id":"x"})",
        R"({"type":"setvol","vol":"loud"})",
        R"({"type":"setmute","on":1})",
        R"({"type":"mirror","a":"A","b":false})",
        R"({"type":"layoutRestore","name":7})",
        R"({"type":"layoutDelete","name":["Desk"]})",
        R"({"type":"open","what":true})",
        R"({"type":"windows","do":1})",
        R"({"type":"windows","do":["restore"]})",
        R"({"type":"disp","key":5,"act":"rotate"})",
        R"({"type":"disp","key":"K","act":["rotate"]})",
        R"({"type":"disp","key":"K","act":"res","w":"2560","h":1440})",
        R"({"type":"disp","key":"K","act":"hz","hz":59.94})",
        R"({"type":"disp","key":"K","act":"tile","grid":3})",
        R"({"type":"disp","key":"K","act":"snap","grid":"2x2","cell":"1"})",
        R"({"type":"disp","key":"K","act":"rename","name":null})",
        R"({"type":"disp","key":7,"act":"recordRegion"})",
        R"({"type":"disp","key":false,"act":"preview"})",
    };
    for (const std::string& message : messages) {
        SCOPED_TRACE(message);
        FlyoutWorld world;
        world.commands.onWebMessage(message);
        world.runTasks();
        EXPECT_TRUE(world.dispatched.empty());
        EXPECT_TRUE(world.calls.empty());
    }
    // A whole number written as a float is a number.
    FlyoutWorld world;
    world.commands.onWebMessage(R"({"type":"size","h":700.0})");
    EXPECT_EQ(world.calls, std::vector<std::string>{"resize 700"});
}

// Values the page never sends (its sizes and rates come from the display's
// own modes, its grids and cells from its buttons): the message does nothing
// and reaches no action.
TEST(FlyoutCommands, OutOfRangeValuesDoNothing) {
    const std::string disp = R"({"type":"disp","key":")" + kLeft + R"(",)";
    const std::vector<std::string> messages = {
        R"({"type":"pushRes","w":0,"h":1080})",
        R"({"type":"pushRes","w":1920,"h":-1080})",
        R"({"type":"pushRes"})",
        disp + R"("act":"res","w":-2560,"h":1440})",
        disp + R"("act":"res","w":2560})",
        disp + R"("act":"hz","hz":0})",
        disp + R"("act":"hz","hz":-60})",
        disp + R"("act":"tile","grid":"9x9"})",
        disp + R"("act":"tile","grid":"wide"})",
        disp + R"("act":"snap","grid":"3x2","cell":6})",
        disp + R"("act":"snap","grid":"3x2","cell":-1})",
        disp + R"("act":"snap","grid":"0x2","cell":0})",
    };
    for (const std::string& message : messages) {
        SCOPED_TRACE(message);
        FlyoutWorld world;
        world.commands.onWebMessage(message);
        EXPECT_TRUE(world.dispatched.empty());
        EXPECT_TRUE(world.calls.empty());
    }
    // The edges of the ranges still go through.
    FlyoutWorld world;
    world.commands.onWebMessage(disp + R"("act":"snap","grid":"8x8","cell":63})");
    world.commands.onWebMessage(R"({"type":"pushRes","w":1,"h":1})");
    EXPECT_EQ(world.dispatched,
              (std::vector<std::string>{"SnapWindow " + kLeft + " '8x8' cell 63 window 1234", "PushResolutionAll 1x1"}));
}

// Thousands of messages built from the real ones with one member given a
// value of another type, or with their text cut and scrambled: nothing ends
// the program, and a wrong type never dispatches anything nor calls anyone.
TEST(FlyoutCommands, MutatedMessagesNeverCrashAndWrongTypesDoNothing) {
    const std::vector<json> templates = {
        {{"type", "size"}, {"h", 700}},
        {{"type", "ui"}, {"panels", "audio"}},
        {{"type", "proj"}, {"mode", "extend"}},
        {{"type", "pushRes"}, {"w", 1920}, {"h", 1080}},
        {{"type", "arrangeMap"}, {"key", kLeft}, {"x", -3840}, {"y", 0}},
        {{"type", "setaud"}, {"cap", true}, {"id", "x"}},
        {{"type", "setvol"}, {"cap", false}, {"vol", 0.5}},
        {{"type", "setmute"}, {"cap", false}, {"on", true}},
        {{"type", "mirror"}, {"a", kLaptop}, {"b", kLeft}},
        {{"type", "layoutRestore"}, {"name", "Desk"}},
        {{"type", "open"}, {"what", "recordings"}},
        {{"type", "windows"}, {"do", "restore"}},
        {{"type", "disp"}, {"key", kLeft}, {"act", "res"}, {"w", 2560}, {"h", 1440}},
        {{"type", "disp"}, {"key", kLeft}, {"act", "snap"}, {"grid", "3x2"}, {"cell", 4}},
        {{"type", "disp"}, {"key", kLeft}, {"act", "rename"}, {"name", "Big"}},
        {{"type", "disp"}, {"key", kLeft}, {"act", "recordRegion"}},
    };
    // Values of every JSON kind; for each member, those of another kind than
    // it is read as (a float member also takes integers).
    const std::vector<json> values = {"text", 3, -7, 2.5, true, false, nullptr, json::array({1}), json::object()};
    const auto wrongFor = [&](const json& original) {
        std::vector<json> wrong;
        for (const json& v : values) {
            const bool sameKind = (original.is_string() && v.is_string()) ||
                                  (original.is_boolean() && v.is_boolean()) ||
                                  (original.is_number_float() && v.is_number()) ||
                                  (original.is_number_integer() && v.is_number_integer());
            if (!sameKind) wrong.push_back(v);
        }
        return wrong;
    };

    std::mt19937 random(20261210);
    FlyoutWorld world;
    for (int round = 0; round < 3000; ++round) {
        json message = templates[random() % templates.size()];
        std::vector<std::string> members;
        for (const auto& [name, value] : message.items())
            if (name != "type") members.push_back(name);
        const std::string member = members[random() % members.size()];
        const std::vector<json> wrong = wrongFor(message[member]);
        message[member] = wrong[random() % wrong.size()];
        SCOPED_TRACE(message.dump());
        world.dispatched.clear();
        world.calls.clear();
        world.commands.onWebMessage(message.dump());
        world.runTasks();
        ASSERT_TRUE(world.dispatched.empty());
        ASSERT_TRUE(world.calls.empty());
    }

    // Text cut short or with bytes overwritten: whatever parses does what it
    // says; nothing crashes.
    for (int round = 0; round < 3000; ++round) {
        std::string text = templates[random() % templates.size()].dump();
        switch (random() % 3) {
        case 0: text.resize(random() % (text.size() + 1)); break;
        case 1: text[random() % text.size()] = static_cast<char>(random() % 256); break;
        default: text.insert(random() % text.size(), 1, "{}[]\",:\\0"[random() % 9]); break;
        }
        world.commands.onWebMessage(text);
        world.runTasks();
    }
}

} // namespace
} // namespace qv::test
