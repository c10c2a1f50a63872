#include "display/DisplayKey.h"

#include <gtest/gtest.h>

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

TEST(DisplayKey, Fnv1aMatchesPublishedVectors) {
    EXPECT_EQ(fnv1a32(""), 0x811c9dc5u);
    EXPECT_EQ(fnv1a32("a"), 0xe40c292cu);
    EXPECT_EQ(fnv1a32("foobar"), 0xbf9cf968u);
}

} // namespace
} // namespace qv
