#include "display/DisplayKey.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qv {
namespace {

const char* const DevicePath = "\\\\?\\DISPLAY#ABC1234#5&1a2b3c&0&UID4353#{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}";

TEST(DisplayKey, PicksTheMostSpecificForm) {
    struct Case {
        MonitorIdentity identity;
        const char* key;
    };
    const Case cases[] = {
        {{"ABC", 0x12CD, 123456, "S1234567", "Name", DevicePath}, "ABC-12CD-0x0001E240"},
        {{"ABC", 0x12CD, 0, "S1234567", "Name", DevicePath}, "ABC-12CD-S1234567"},
        {{"ABC", 0x12CD, 0, "", "Name", DevicePath}, "ABC-12CD"},
        {{"DEL", 0x000A, 0, "", "", ""}, "DEL-000A"},
        {{"abc", 0x00FF, 0xFFFFFFFE, "", "", ""}, "ABC-00FF-0xFFFFFFFE"},
        // Without a manufacturer the serial and name do not count; the path does.
        {{"", 0x12CD, 123456, "S1234567", "Name", DevicePath}, "path:66ed8251"},
        {{"", 0, 0, "", "", "a"}, "path:e40c292c"},
        {{"", 0x12CD, 123456, "S1234567", "Name", ""}, "unknown"},
        {{}, "unknown"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(displayKey(c.identity), c.key);
}

// Monitors connected together: identical ones get keys of their own, the
// others keep theirs byte for byte.
TEST(DisplayKey, DistinctKeysForIdenticalMonitors) {
    const auto monitor = [](uint32_t serial, const char* serialText, uint32_t targetId) {
        return KeyedTarget{{"ABC", 0x12CD, serial, serialText, "Studio", ""}, targetId};
    };
    const KeyedTarget laptop{{"BOE", 0x0A1C, 0, "", "", ""}, 7};
    struct Case {
        const char* what;
        std::vector<KeyedTarget> targets;
        std::vector<std::string> keys;
    };
    const Case cases[] = {
        {"unique keys stay as they are",
         {laptop, monitor(0x01010101, "X1", 9), monitor(0x02020202, "X1", 10)},
         {"BOE-0A1C", "ABC-12CD-0x01010101", "ABC-12CD-0x02020202"}},
        {"placeholder serial, different serial texts",
         {laptop, monitor(1, "CN0X1", 9), monitor(1, "CN0X2", 10)},
         {"BOE-0A1C", "ABC-12CD-CN0X1", "ABC-12CD-CN0X2"}},
        {"no serial at all", {monitor(0, "", 12), monitor(0, "", 9)}, {"ABC-12CD#12", "ABC-12CD#9"}},
        {"the same serial text", {monitor(1, "SAME", 9), monitor(1, "SAME", 10)},
         {"ABC-12CD-0x00000001#9", "ABC-12CD-0x00000001#10"}},
        {"two of three share a serial text",
         {monitor(1, "A", 9), monitor(1, "A", 10), monitor(1, "B", 11)},
         {"ABC-12CD-0x00000001#9", "ABC-12CD-0x00000001#10", "ABC-12CD-B"}},
        {"one of two without serial text",
         {monitor(1, "A", 9), monitor(1, "", 10)}, {"ABC-12CD-A", "ABC-12CD-0x00000001#10"}},
        {"a serial-text key another monitor builds by itself",
         {monitor(0, "A", 8), monitor(1, "A", 9), monitor(1, "B", 10)},
         {"ABC-12CD-A", "ABC-12CD-0x00000001#9", "ABC-12CD-B"}},
        {"no manufacturer", {KeyedTarget{{}, 3}, KeyedTarget{{"", 0, 0, "S", "", ""}, 4}},
         {"unknown#3", "unknown#4"}},
        {"nothing connected", {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<DistinctKey> keys = distinctDisplayKeys(c.targets);
        ASSERT_EQ(keys.size(), c.keys.size());
        for (size_t i = 0; i < keys.size(); ++i) {
            EXPECT_EQ(keys[i].key, c.keys[i]);
            EXPECT_EQ(keys[i].sharedKey, displayKey(c.targets[i].identity));
        }
    }
}

TEST(DisplayKey, StoredKeysFindTheirDisplay) {
    struct Entry {
        std::string key;
        std::string sharedKey;
    };
    const std::vector<Entry> entries = {
        {"BOE-0A1C", "BOE-0A1C"}, {"ABC-12CD#9", "ABC-12CD"}, {"ABC-12CD#10", "ABC-12CD"}};
    EXPECT_EQ(findByKey(entries, "ABC-12CD#10"), &entries[2]);
    EXPECT_EQ(findByKey(entries, "BOE-0A1C"), &entries[0]);
    // Saved while the two shared a key: the first of them, as before.
    EXPECT_EQ(findByKey(entries, "ABC-12CD"), &entries[1]);
    EXPECT_EQ(findByKey(entries, "ABC-12CD#11"), nullptr);
    EXPECT_EQ(findByKey(entries, ""), nullptr);
}

TEST(DisplayKey, Fnv1aMatchesPublishedVectors) {
    EXPECT_EQ(fnv1a32(""), 0x811c9dc5u);
    EXPECT_EQ(fnv1a32("a"), 0xe40c292cu);
    EXPECT_EQ(fnv1a32("foobar"), 0xbf9cf968u);
}

} // namespace
} // namespace qv
