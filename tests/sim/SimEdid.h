#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace qv::sim {

// What goes into a simulated monitor's EDID block.
struct EdidContents {
    std::string manufacturer = "ABC";  // three letters A..Z
    uint16_t productCode = 0x1234;
    uint32_t serialNumber = 0;  // bytes 12..15; 0 or FFFFFFFF mean none
    // Descriptor texts. Shorter than 13 bytes: terminated by a line feed and
    // padded with spaces as EDID prescribes; exactly 13 bytes: stored as is;
    // empty: no such descriptor.
    std::string monitorName;  // tag FC
    std::string serialText;   // tag FF
    // Preferred timing, written as the first (detailed timing) descriptor.
    uint32_t width = 1920;
    uint32_t height = 1080;
    uint32_t refreshHz = 60;
    // CTA-861 extension blocks appended to the base block: 1 gives the common
    // 256-byte value, 2 and 3 the 384 and 512 bytes of monitors with DisplayID data.
    int extensionBlocks = 0;
};

// A valid EDID 1.4 base block (plus the extension blocks asked for), with
// header, manufacturer letters, product code, serial, descriptors and checksums.
std::vector<uint8_t> buildEdid(const EdidContents& contents);

// The manufacturer letters packed as Windows reports edidManufactureId (EDID
// byte 8 in the low byte, byte 9 in the high byte).
uint16_t edidManufacturerId(const std::string& letters);

// Recomputes the checksum byte of every 128-byte block.
void fixEdidChecksums(std::vector<uint8_t>& edid);

} // namespace qv::sim
