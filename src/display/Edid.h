#pragma once
#include "display/MonitorIdentity.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace qv {

// Decodes the three manufacturer letters of an EDID manufacturer id. The id
// holds EDID byte 8 in its low byte and byte 9 in its high byte, as Windows
// reports edidManufactureId. Empty when any letter is outside A..Z.
std::string manufacturerLetters(uint16_t manufacturerId);

// Text of the first of the four display descriptors (offsets 54, 72, 90, 108)
// carrying the given tag: up to 13 bytes from descriptor byte 5, ending before
// the first byte outside 0x20..0x7E, trailing spaces removed, so the text is
// always printable ASCII. Empty when no descriptor has the tag. The block must
// hold at least 128 bytes.
std::string edidDescriptorText(const uint8_t* edid, uint8_t tag);

// Display descriptor tags and the base block size of VESA E-EDID 1.3/1.4:
// 0xFF product serial number text, 0xFC product name, 128-byte blocks
// (checked against the published EDID descriptor tables).
inline constexpr uint8_t EdidTagSerialText = 0xFF;
inline constexpr uint8_t EdidTagMonitorName = 0xFC;
inline constexpr size_t EdidBlockSize = 128;

// Fills the identity from a base EDID block. Fails, leaving the identity
// untouched, when the block is shorter than 128 bytes or its header is wrong.
bool parseEdid(const uint8_t* data, size_t size, MonitorIdentity& identity);

} // namespace qv
