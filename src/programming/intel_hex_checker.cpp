#include "programming/intel_hex_checker.h"

#include "base/text_codec.h"

#include <cctype>
#include <cstdio>
#include <unordered_map>
#include <vector>

namespace {
bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

std::string Hex2(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02X", value & 0xFF);
    return text;
}

std::string Address(std::uint32_t address)
{
    char text[16];
    std::snprintf(text, sizeof text, address > 0xFFFF ? "%08X" : "%04X", address);
    return text;
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix)
{
    if (text.size() < suffix.size())
        return false;
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        const char a = static_cast<char>(std::tolower(static_cast<unsigned char>(text[text.size() - suffix.size() + i])));
        if (a != suffix[i])
            return false;
    }
    return true;
}

// The data length each record type needs; -1 for any length.
int NeededLength(unsigned type)
{
    switch (type) {
    case 0x00: return -1;
    case 0x01: return 0;
    case 0x02:
    case 0x04: return 2;
    default: return 4;
    }
}

struct CWritten {
    std::uint8_t value;
    std::size_t line;
};
} // namespace

bool CIntelHexChecker::IsIntelHex(std::string_view path, std::string_view content)
{
    if (EndsWithNoCase(path, ".hex") || EndsWithNoCase(path, ".ihx"))
        return true;
    for (char c : content) {
        if (IsBlank(c) || c == '\n')
            continue;
        return c == ':';
    }
    return false;
}

bool CIntelHexChecker::Fail(std::size_t line, const std::string& text)
{
    m_nFaultLine = line;
    m_strFault = "line " + std::to_string(line) + ": " + text;
    return false;
}

bool CIntelHexChecker::Check(std::string_view content)
{
    *this = CIntelHexChecker();
    std::unordered_map<std::uint32_t, CWritten> written;
    std::uint32_t base = 0;
    std::size_t endLine = 0;
    std::size_t lineNumber = 0;
    std::size_t from = 0;
    std::vector<std::uint8_t> bytes;
    while (from < content.size()) {
        std::size_t to = content.find('\n', from);
        if (to == std::string_view::npos)
            to = content.size();
        std::string_view line = content.substr(from, to - from);
        from = to + 1;
        ++lineNumber;
        // Blanks around a record (a CR before the LF among them) are line space.
        while (!line.empty() && IsBlank(line.front()))
            line.remove_prefix(1);
        while (!line.empty() && IsBlank(line.back()))
            line.remove_suffix(1);
        if (line.empty())
            continue;
        if (endLine != 0)
            return Fail(lineNumber, "text after the end record of line " + std::to_string(endLine));
        if (line.front() != ':')
            return Fail(lineNumber, "the record does not start with ':'");
        line.remove_prefix(1);
        for (char c : line) {
            if (HexDigitValue(c) < 0)
                return Fail(lineNumber, std::string("'") + c + "' is not a hex digit");
        }
        if (line.size() % 2 != 0)
            return Fail(lineNumber, "the record has an odd number of hex digits");
        bytes.clear();
        for (std::size_t i = 0; i < line.size(); i += 2)
            bytes.push_back(static_cast<std::uint8_t>(HexPairValue(line[i], line[i + 1])));
        if (bytes.size() < 5)
            return Fail(lineNumber, "the record is too short");
        const std::size_t length = bytes[0];
        if (bytes.size() != length + 5)
            return Fail(lineNumber, "the record holds " + std::to_string(bytes.size() - 5) + " data bytes, its length says "
                    + std::to_string(length));
        std::uint8_t sum = 0;
        for (std::size_t i = 0; i + 1 < bytes.size(); ++i)
            sum = static_cast<std::uint8_t>(sum + bytes[i]);
        const std::uint8_t needed = static_cast<std::uint8_t>(-sum);
        if (bytes.back() != needed)
            return Fail(lineNumber, "checksum " + Hex2(bytes.back()) + ", the record needs " + Hex2(needed));
        const unsigned type = bytes[3];
        if (type > 0x05)
            return Fail(lineNumber, "unknown record type " + Hex2(type));
        const int need = NeededLength(type);
        if (need >= 0 && static_cast<std::size_t>(need) != length)
            return Fail(lineNumber, "a record of type " + Hex2(type) + " holds " + std::to_string(need)
                    + " data bytes, this one " + std::to_string(length));
        const std::uint32_t offset = static_cast<std::uint32_t>(bytes[1] << 8 | bytes[2]);
        const std::uint8_t* data = bytes.data() + 4;
        switch (type) {
        case 0x00:
            for (std::size_t i = 0; i < length; ++i) {
                // As the board does: the offset wraps within the 64 KiB the base selects.
                const std::uint32_t address = base + ((offset + static_cast<std::uint32_t>(i)) & 0xFFFF);
                auto [it, added] = written.try_emplace(address, CWritten{data[i], lineNumber});
                if (!added && it->second.value != data[i])
                    return Fail(lineNumber, "address " + Address(address) + " gets " + Hex2(data[i]) + ", line "
                            + std::to_string(it->second.line) + " gave it " + Hex2(it->second.value));
                if (m_nDataBytes == 0 || address < m_nLow)
                    m_nLow = address;
                if (m_nDataBytes == 0 || address > m_nHigh)
                    m_nHigh = address;
                if (added)
                    ++m_nDataBytes;
            }
            break;
        case 0x01:
            endLine = lineNumber;
            break;
        case 0x02:
            base = static_cast<std::uint32_t>(data[0] << 8 | data[1]) << 4;
            break;
        case 0x04:
            base = static_cast<std::uint32_t>(data[0] << 8 | data[1]) << 16;
            break;
        default:
            break;
        }
    }
    if (endLine == 0)
        return Fail(lineNumber == 0 ? 1 : lineNumber, "the file has no end record (:00000001FF)");
    return true;
}
