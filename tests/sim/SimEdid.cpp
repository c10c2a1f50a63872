#include "sim/SimEdid.h"

#include <algorithm>

namespace qv::sim {

namespace {

void putDescriptorText(uint8_t* descriptor, uint8_t tag, const std::string& text) {
    std::fill(descriptor, descriptor + 18, uint8_t{0});
    descriptor[3] = tag;
    uint8_t* field = descriptor + 5;
    if (text.size() >= 13) {
        std::copy_n(text.begin(), 13, field);
        return;
    }
    std::copy(text.begin(), text.end(), field);
    field[text.size()] = '\n';
    for (size_t i = text.size() + 1; i < 13; ++i)
        field[i] = ' ';
}

void putDummyDescriptor(uint8_t* descriptor) {
    std::fill(descriptor, descriptor + 18, uint8_t{0});
    descriptor[3] = 0x10;
}

void putRangeLimits(uint8_t* descriptor) {
    std::fill(descriptor, descriptor + 18, uint8_t{0});
    descriptor[3] = 0xFD;
    descriptor[5] = 48;   // min vertical Hz
    descriptor[6] = 144;  // max vertical Hz
    descriptor[7] = 30;   // min horizontal kHz
    descriptor[8] = 160;  // max horizontal kHz
    descriptor[9] = 60;   // max pixel clock / 10 MHz
    descriptor[10] = 0x01;
    descriptor[11] = 0x0A;
    std::fill(descriptor + 12, descriptor + 18, uint8_t{0x20});
}

void putDetailedTiming(uint8_t* descriptor, uint32_t width, uint32_t height, uint32_t refreshHz) {
    // Reduced-blanking style timing.
    const uint32_t hBlank = 160;
    const uint32_t vBlank = std::max<uint32_t>(height / 40, 23);
    const uint64_t pixelClock10kHz =
        (uint64_t(width + hBlank) * (height + vBlank) * refreshHz + 5000) / 10000;
    const uint32_t hFront = 48, hSync = 32, vFront = 3, vSync = 5;
    descriptor[0] = uint8_t(pixelClock10kHz & 0xFF);
    descriptor[1] = uint8_t((pixelClock10kHz >> 8) & 0xFF);
    descriptor[2] = uint8_t(width & 0xFF);
    descriptor[3] = uint8_t(hBlank & 0xFF);
    descriptor[4] = uint8_t(((width >> 8) & 0x0F) << 4 | ((hBlank >> 8) & 0x0F));
    descriptor[5] = uint8_t(height & 0xFF);
    descriptor[6] = uint8_t(vBlank & 0xFF);
    descriptor[7] = uint8_t(((height >> 8) & 0x0F) << 4 | ((vBlank >> 8) & 0x0F));
    descriptor[8] = uint8_t(hFront);
    descriptor[9] = uint8_t(hSync);
    descriptor[10] = uint8_t((vFront & 0x0F) << 4 | (vSync & 0x0F));
    descriptor[11] = 0;
    descriptor[12] = uint8_t((width * 254 / 960) & 0xFF);  // image size in mm, roughly 96 dpi
    descriptor[13] = uint8_t((height * 254 / 960) & 0xFF);
    descriptor[14] = uint8_t((((width * 254 / 960) >> 8) & 0x0F) << 4 | (((height * 254 / 960) >> 8) & 0x0F));
    descriptor[15] = 0;
    descriptor[16] = 0;
    descriptor[17] = 0x1A;  // digital separate sync, positive polarities
}

} // namespace

uint16_t edidManufacturerId(const std::string& letters) {
    unsigned word = 0;
    for (size_t i = 0; i < 3; ++i) {
        const unsigned value = i < letters.size() ? unsigned(letters[i] - 'A' + 1) & 0x1F : 0;
        word = (word << 5) | value;
    }
    // Big-endian in the block: byte 8 is the high byte of the word.
    return uint16_t(((word & 0xFF) << 8) | (word >> 8));
}

void fixEdidChecksums(std::vector<uint8_t>& edid) {
    for (size_t block = 0; block + 128 <= edid.size(); block += 128) {
        unsigned sum = 0;
        for (size_t i = 0; i < 127; ++i)
            sum += edid[block + i];
        edid[block + 127] = uint8_t((256 - (sum & 0xFF)) & 0xFF);
    }
}

std::vector<uint8_t> buildEdid(const EdidContents& contents) {
    std::vector<uint8_t> edid(128 * (1 + static_cast<size_t>(std::max(contents.extensionBlocks, 0))), 0);
    static constexpr uint8_t header[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    std::copy(std::begin(header), std::end(header), edid.begin());
    const uint16_t id = edidManufacturerId(contents.manufacturer);
    edid[8] = uint8_t(id & 0xFF);
    edid[9] = uint8_t(id >> 8);
    edid[10] = uint8_t(contents.productCode & 0xFF);
    edid[11] = uint8_t(contents.productCode >> 8);
    for (int i = 0; i < 4; ++i)
        edid[12 + i] = uint8_t((contents.serialNumber >> (8 * i)) & 0xFF);
    edid[16] = 12;   // week of manufacture
    edid[17] = 32;   // year - 1990
    edid[18] = 1;    // EDID 1.4
    edid[19] = 4;
    edid[20] = 0xA5;  // digital, 8 bits per colour, DisplayPort
    edid[21] = uint8_t(contents.width * 254 / 9600);   // screen size in cm
    edid[22] = uint8_t(contents.height * 254 / 9600);
    edid[23] = 120;   // gamma 2.2
    edid[24] = 0x3A;  // features: RGB 4:4:4, sRGB, preferred timing native
    static constexpr uint8_t chroma[10] = {0xEE, 0x95, 0xA3, 0x54, 0x4C, 0x99, 0x26, 0x0F, 0x50, 0x54};
    std::copy(std::begin(chroma), std::end(chroma), edid.begin() + 25);
    edid[35] = 0x21;  // established timings: 640x480@60, 800x600@60
    edid[36] = 0x08;
    for (size_t i = 38; i < 54; i += 2) {  // standard timings unused
        edid[i] = 0x01;
        edid[i + 1] = 0x01;
    }

    uint8_t* descriptors[4] = {&edid[54], &edid[72], &edid[90], &edid[108]};
    putDetailedTiming(descriptors[0], contents.width, contents.height, contents.refreshHz);
    size_t next = 1;
    if (!contents.serialText.empty())
        putDescriptorText(descriptors[next++], 0xFF, contents.serialText);
    if (!contents.monitorName.empty())
        putDescriptorText(descriptors[next++], 0xFC, contents.monitorName);
    if (next < 4)
        putRangeLimits(descriptors[next++]);
    while (next < 4)
        putDummyDescriptor(descriptors[next++]);

    edid[126] = uint8_t(edid.size() / 128 - 1);
    for (size_t block = 128; block < edid.size(); block += 128) {
        edid[block] = 0x02;      // CTA-861 extension
        edid[block + 1] = 0x03;
        edid[block + 2] = 4;     // no data blocks; detailed timings would start here
        edid[block + 3] = 0x40;  // basic audio
    }
    fixEdidChecksums(edid);
    return edid;
}

} // namespace qv::sim
