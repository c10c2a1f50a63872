#include "display/Edid.h"
#include "sim/SimEdid.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

namespace qv {
namespace {

TEST(EdidManufacturer, DecodesThreeLettersOrNothing) {
    struct Case {
        uint8_t byte8;
        uint8_t byte9;
        const char* letters;
    };
    // Well-known vendor ids as they appear in EDID bytes 8 and 9.
    const Case cases[] = {
        {0x10, 0xAC, "DEL"},
        {0x1E, 0x6D, "GSM"},
        {0x4C, 0x2D, "SAM"},
        {0x04, 0x21, "AAA"},
        {0x6B, 0x5A, "ZZZ"},
        {0x00, 0x00, ""},   // all letters 0
        {0x6C, 0x21, ""},   // first letter 27
        {0x04, 0x3F, ""},   // last letter 31
        {0x07, 0xE1, ""},   // middle letter 31
    };
    for (const Case& c : cases) {
        const uint16_t id = static_cast<uint16_t>(c.byte8 | (c.byte9 << 8));
        EXPECT_EQ(manufacturerLetters(id), c.letters) << std::hex << int(c.byte8) << " " << int(c.byte9);
    }
}

// A 128-byte block with a valid header whose four descriptor slots are given.
struct Block {
    std::array<uint8_t, 128> bytes{};
    Block() {
        const uint8_t header[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
        std::memcpy(bytes.data(), header, 8);
        for (size_t offset : {54u, 72u, 90u, 108u})
            bytes[offset] = 0x12;  // detailed timing (non-zero pixel clock) by default
    }
    void textDescriptor(int slot, uint8_t tag, const std::string& text13, uint8_t byte2 = 0) {
        uint8_t* d = bytes.data() + 54 + 18 * slot;
        std::memset(d, 0, 18);
        d[2] = byte2;
        d[3] = tag;
        std::memcpy(d + 5, text13.data(), 13);
    }
};

TEST(EdidDescriptorText, EndsAtTheFirstUnprintableByteAndStripsPadding) {
    struct Case {
        const char* what;
        std::string text13;
        std::string expected;
    };
    const Case cases[] = {
        {"line feed then spaces", std::string("Studio 27\n   ", 13), "Studio 27"},
        {"13 characters without line feed", "ABCDEFGHIJKLM", "ABCDEFGHIJKLM"},
        {"NUL padding", std::string("Studio 27\0\0\0\0", 13), "Studio 27"},
        {"spaces before line feed", std::string("Name   \n     ", 13), "Name"},
        {"space padding without line feed", std::string("Wide 34      ", 13), "Wide 34"},
        {"leading line feed", std::string("\nIgnored text", 13), ""},
        {"inner space kept", std::string("U 2720 Q\n    ", 13), "U 2720 Q"},
        // Bytes outside printable ASCII end the text, so keys and names stay
        // valid UTF-8 in the settings and layout files.
        {"serial with a non-breaking space byte", std::string("2\xa0\x1eW\xff\n       ", 13), "2"},
        {"name in a legacy code page", std::string("\xcf\xd4\xca\xbe\xc6\xf7 24\n   ", 13), ""},
        {"ASCII then code page bytes", std::string("HP 24 \xb0\xe6\n     ", 13), "HP 24"},
        {"tab ends the text", std::string("AB\tCD\n      ", 13), "AB"},
        {"DEL ends the text", std::string("Model\x7f\n      ", 13), "Model"},
        {"tilde is printable", std::string("A~B\n         ", 13), "A~B"},
    };
    for (const Case& c : cases) {
        Block block;
        block.textDescriptor(2, EdidTagMonitorName, c.text13);
        EXPECT_EQ(edidDescriptorText(block.bytes.data(), EdidTagMonitorName), c.expected) << c.what;
    }
}

TEST(EdidDescriptorText, TakesFirstDisplayDescriptorWithTheTag) {
    Block block;
    EXPECT_EQ(edidDescriptorText(block.bytes.data(), EdidTagMonitorName), "");

    // Not a display descriptor: byte 2 is not zero.
    block.textDescriptor(1, EdidTagMonitorName, std::string("Decoy\n       ", 13), 0x01);
    block.textDescriptor(2, EdidTagSerialText, std::string("SN123\n       ", 13));
    block.textDescriptor(3, EdidTagMonitorName, std::string("Second\n      ", 13));
    EXPECT_EQ(edidDescriptorText(block.bytes.data(), EdidTagMonitorName), "Second");
    EXPECT_EQ(edidDescriptorText(block.bytes.data(), EdidTagSerialText), "SN123");

    block.textDescriptor(0, EdidTagMonitorName, std::string("First\n       ", 13));
    EXPECT_EQ(edidDescriptorText(block.bytes.data(), EdidTagMonitorName), "First");
}

TEST(EdidParse, FillsIdentityFromBuiltBlock) {
    const std::vector<uint8_t> edid = sim::buildEdid({.manufacturer = "DEL",
                                                      .productCode = 0x41A8,
                                                      .serialNumber = 0x4C4B3033,
                                                      .monitorName = "DELL U2720Q",
                                                      .serialText = "9XKJ2S3",
                                                      .extensionBlocks = 1});
    ASSERT_EQ(edid.size(), 256u);
    unsigned sum = 0;
    for (size_t i = 0; i < 128; ++i)
        sum += edid[i];
    EXPECT_EQ(sum % 256, 0u) << "base block checksum";

    MonitorIdentity identity;
    ASSERT_TRUE(parseEdid(edid.data(), edid.size(), identity));
    EXPECT_EQ(identity.manufacturer, "DEL");
    EXPECT_EQ(identity.productCode, 0x41A8);
    EXPECT_EQ(identity.serialNumber, 0x4C4B3033u);
    EXPECT_EQ(identity.monitorName, "DELL U2720Q");
    EXPECT_EQ(identity.serialText, "9XKJ2S3");
}

TEST(EdidParse, KeepsEarlierValuesWhereTheBlockHasNone) {
    const MonitorIdentity before{"XYZ", 0x1111, 42, "OLD-SERIAL", "Old name", "path"};
    struct Case {
        const char* what;
        std::vector<uint8_t> edid;
        bool parses;
        MonitorIdentity expected;
    };
    std::vector<uint8_t> noSerial = sim::buildEdid({.manufacturer = "ABC", .productCode = 0x0001, .serialNumber = 0});
    std::vector<uint8_t> allOnesSerial =
        sim::buildEdid({.manufacturer = "ABC", .productCode = 0x0002, .serialNumber = 0xFFFFFFFF});
    std::vector<uint8_t> badLetters = sim::buildEdid({.manufacturer = "ABC", .productCode = 0x0003});
    badLetters[8] = 0;
    badLetters[9] = 0;
    std::vector<uint8_t> badHeader = sim::buildEdid({.manufacturer = "ABC", .serialNumber = 7, .monitorName = "N"});
    badHeader[7] = 0xFF;
    std::vector<uint8_t> shortBlock = sim::buildEdid({.manufacturer = "ABC", .serialNumber = 7, .monitorName = "N"});
    shortBlock.resize(127);

    const Case cases[] = {
        {"serial 0", noSerial, true, {"ABC", 0x0001, 42, "OLD-SERIAL", "Old name", "path"}},
        {"serial FFFFFFFF", allOnesSerial, true, {"ABC", 0x0002, 42, "OLD-SERIAL", "Old name", "path"}},
        {"invalid letters", badLetters, true, {"XYZ", 0x0003, 42, "OLD-SERIAL", "Old name", "path"}},
        {"wrong header", badHeader, false, before},
        {"127 bytes", shortBlock, false, before},
    };
    for (const Case& c : cases) {
        MonitorIdentity identity = before;
        EXPECT_EQ(parseEdid(c.edid.data(), c.edid.size(), identity), c.parses) << c.what;
        EXPECT_EQ(identity.manufacturer, c.expected.manufacturer) << c.what;
        EXPECT_EQ(identity.productCode, c.expected.productCode) << c.what;
        EXPECT_EQ(identity.serialNumber, c.expected.serialNumber) << c.what;
        EXPECT_EQ(identity.serialText, c.expected.serialText) << c.what;
        EXPECT_EQ(identity.monitorName, c.expected.monitorName) << c.what;
    }
}

} // namespace
} // namespace qv
