#include "display/Edid.h"

namespace qv {

std::string manufacturerLetters(uint16_t manufacturerId) {
    // Byte 8 is the high byte of the big-endian word that packs the letters.
    const unsigned word = static_cast<unsigned>((manufacturerId & 0xFFu) << 8) | (manufacturerId >> 8);
    const unsigned letters[3] = {(word >> 10) & 0x1Fu, (word >> 5) & 0x1Fu, word & 0x1Fu};
    std::string text;
    for (unsigned letter : letters) {
        if (letter < 1 || letter > 26)
            return std::string();
        text += static_cast<char>('A' + letter - 1);
    }
    return text;
}

std::string edidDescriptorText(const uint8_t* edid, uint8_t tag) {
    static constexpr size_t offsets[4] = {54, 72, 90, 108};
    for (size_t offset : offsets) {
        const uint8_t* d = edid + offset;
        if (d[0] != 0 || d[1] != 0 || d[2] != 0 || d[3] != tag)
            continue;
        // The text ends at the first byte that is not printable ASCII: the
        // line feed EDID prescribes, NUL padding, or bytes of some code page
        // that would not survive as UTF-8 in the settings and layout files.
        std::string text;
        for (size_t i = 5; i < 18 && d[i] >= 0x20 && d[i] <= 0x7E; ++i)
            text += static_cast<char>(d[i]);
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        return text;
    }
    return std::string();
}

bool parseEdid(const uint8_t* data, size_t size, MonitorIdentity& identity) {
    static constexpr uint8_t header[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    if (data == nullptr || size < EdidBlockSize)
        return false;
    for (size_t i = 0; i < 8; ++i)
        if (data[i] != header[i])
            return false;

    const std::string letters = manufacturerLetters(static_cast<uint16_t>(data[8] | (data[9] << 8)));
    if (!letters.empty())
        identity.manufacturer = letters;
    identity.productCode = static_cast<uint16_t>(data[10] | (data[11] << 8));
    const uint32_t serial = static_cast<uint32_t>(data[12]) | (static_cast<uint32_t>(data[13]) << 8) |
                            (static_cast<uint32_t>(data[14]) << 16) | (static_cast<uint32_t>(data[15]) << 24);
    if (serial != 0 && serial != 0xFFFFFFFFu)
        identity.serialNumber = serial;

    std::string serialText = edidDescriptorText(data, EdidTagSerialText);
    if (!serialText.empty())
        identity.serialText = std::move(serialText);
    std::string name = edidDescriptorText(data, EdidTagMonitorName);
    if (!name.empty())
        identity.monitorName = std::move(name);
    return true;
}

} // namespace qv
