#include "sim/intel_hex.h"

#include <algorithm>
#include <cstdio>

std::string IntelHexRecord(std::uint8_t type, std::uint16_t offset, const std::vector<std::uint8_t>& payload)
{
    std::vector<std::uint8_t> bytes = {static_cast<std::uint8_t>(payload.size()),
        static_cast<std::uint8_t>(offset >> 8), static_cast<std::uint8_t>(offset & 0xFF), type};
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    std::uint8_t sum = 0;
    for (std::uint8_t b : bytes)
        sum = static_cast<std::uint8_t>(sum + b);
    bytes.push_back(static_cast<std::uint8_t>(-sum));
    std::string line = ":";
    char hex[3];
    for (std::uint8_t b : bytes) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        line += hex;
    }
    return line + "\r\n";
}

std::string EncodeIntelHex(const std::vector<std::uint8_t>& data, std::uint32_t address,
    std::size_t recordBytes, bool descending)
{
    struct Chunk {
        std::uint32_t address;
        std::size_t from;
        std::size_t size;
    };
    std::vector<Chunk> chunks;
    std::size_t from = 0;
    while (from < data.size()) {
        const std::uint32_t at = address + static_cast<std::uint32_t>(from);
        // A record never crosses a 64 KiB boundary.
        std::size_t size = std::min<std::size_t>(recordBytes, data.size() - from);
        size = std::min<std::size_t>(size, 0x10000 - (at & 0xFFFF));
        chunks.push_back({at, from, size});
        from += size;
    }
    if (descending)
        std::reverse(chunks.begin(), chunks.end());
    std::string text;
    long upper = -1;
    for (const Chunk& chunk : chunks) {
        if (static_cast<long>(chunk.address >> 16) != upper) {
            upper = static_cast<long>(chunk.address >> 16);
            text += IntelHexRecord(0x04, 0, {static_cast<std::uint8_t>(upper >> 8), static_cast<std::uint8_t>(upper & 0xFF)});
        }
        std::vector<std::uint8_t> payload(data.begin() + static_cast<std::ptrdiff_t>(chunk.from),
            data.begin() + static_cast<std::ptrdiff_t>(chunk.from + chunk.size));
        text += IntelHexRecord(0x00, static_cast<std::uint16_t>(chunk.address & 0xFFFF), payload);
    }
    text += IntelHexRecord(0x01, 0, {});
    return text;
}
