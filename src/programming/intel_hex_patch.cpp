#include "programming/intel_hex_patch.h"

#include "base/text_codec.h"

#include <cctype>

namespace {
char HexDigit(unsigned value, bool lower)
{
    return (lower ? "0123456789abcdef" : "0123456789ABCDEF")[value & 0xF];
}
} // namespace

bool CIntelHexPatch::Apply(std::string_view content, std::uint32_t address, const std::vector<std::uint8_t>& bytes,
    std::string& patched, std::uint32_t& missing)
{
    patched.assign(content);
    std::vector<bool> covered(bytes.size(), false);
    std::uint32_t base = 0;
    std::vector<std::uint8_t> record;
    std::size_t from = 0;
    while (from < patched.size()) {
        std::size_t to = patched.find('\n', from);
        if (to == std::string::npos)
            to = patched.size();
        const std::size_t colon = patched.find(':', from);
        from = to + 1;
        if (colon == std::string::npos || colon >= to)
            continue;
        // The record's digits: up to the first character that is none (a CR, blanks).
        std::size_t end = colon + 1;
        while (end < to && HexDigitValue(patched[end]) >= 0)
            ++end;
        if ((end - colon - 1) % 2 != 0 || end - colon - 1 < 10)
            continue;
        record.clear();
        for (std::size_t i = colon + 1; i < end; i += 2)
            record.push_back(static_cast<std::uint8_t>(HexPairValue(patched[i], patched[i + 1])));
        const std::size_t length = record[0];
        if (record.size() != length + 5)
            continue;
        const unsigned type = record[3];
        const std::uint32_t offset = static_cast<std::uint32_t>(record[1] << 8 | record[2]);
        if (type == 0x02 && length == 2)
            base = static_cast<std::uint32_t>(record[4] << 8 | record[5]) << 4;
        else if (type == 0x04 && length == 2)
            base = static_cast<std::uint32_t>(record[4] << 8 | record[5]) << 16;
        if (type != 0x00)
            continue;
        bool changed = false;
        for (std::size_t i = 0; i < length; ++i) {
            // As the board does: the offset wraps within the 64 KiB the base selects.
            const std::uint32_t at = base + ((offset + static_cast<std::uint32_t>(i)) & 0xFFFF);
            if (at < address || at - address >= bytes.size())
                continue;
            record[4 + i] = bytes[at - address];
            covered[at - address] = true;
            changed = true;
        }
        if (!changed)
            continue;
        std::uint8_t sum = 0;
        for (std::size_t i = 0; i + 1 < record.size(); ++i)
            sum = static_cast<std::uint8_t>(sum + record[i]);
        record.back() = static_cast<std::uint8_t>(-sum);
        bool lower = false;
        for (std::size_t i = colon + 1; i < end; ++i)
            lower = lower || std::islower(static_cast<unsigned char>(patched[i]));
        // Only the data and the checksum change; the record keeps its length and place.
        for (std::size_t i = 4; i < record.size(); ++i) {
            patched[colon + 1 + 2 * i] = HexDigit(record[i] >> 4, lower);
            patched[colon + 2 + 2 * i] = HexDigit(record[i], lower);
        }
    }
    for (std::size_t k = 0; k < covered.size(); ++k)
        if (!covered[k]) {
            missing = address + static_cast<std::uint32_t>(k);
            patched.clear();
            return false;
        }
    return true;
}
