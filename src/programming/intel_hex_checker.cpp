#include "programming/intel_hex_checker.h"

#include "base/text_codec.h"

#include <cctype>
#include <cstdio>
#include <memory>
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

// The data bytes written so far, in pages of 256 addresses: the value and a "written" bit of each
// address. A page is looked up once per record (a record spans at most two), not per byte, and
// holds no line numbers: the line of an earlier write is found again only for a fault.
class CWrittenPages {
public:
    // Records the byte; false when the address already holds a different one (in old).
    bool Write(std::uint32_t address, std::uint8_t value, std::uint8_t& old, bool& added)
    {
        const std::uint32_t key = address >> 8;
        if (!m_pPage || key != m_nKey) {
            std::unique_ptr<CPage>& page = m_pages[key];
            if (!page)
                page = std::make_unique<CPage>();
            m_pPage = page.get();
            m_nKey = key;
        }
        const unsigned at = address & 0xFF;
        std::uint64_t& word = m_pPage->m_written[at >> 6];
        const std::uint64_t bit = std::uint64_t{1} << (at & 63);
        added = (word & bit) == 0;
        if (added) {
            word |= bit;
            m_pPage->m_value[at] = value;
            return true;
        }
        old = m_pPage->m_value[at];
        return old == value;
    }

private:
    struct CPage {
        std::uint8_t m_value[256];
        std::uint64_t m_written[4];
    };
    std::unordered_map<std::uint32_t, std::unique_ptr<CPage>> m_pages;
    CPage* m_pPage = nullptr;
    std::uint32_t m_nKey = 0;
};

// Calls record(lineNumber, text) for every line that is not blank, with the blanks around it
// removed, until it returns false. Returns the number of the last line looked at.
template <typename Record>
std::size_t ForEachRecordLine(std::string_view content, Record record)
{
    std::size_t lineNumber = 0;
    std::size_t from = 0;
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
        if (!line.empty() && !record(lineNumber, line))
            break;
    }
    return lineNumber;
}

// The 64 KiB base the extended address records (02, 04) set; the other types keep it.
void NextBase(unsigned type, const std::uint8_t* data, std::uint32_t& base)
{
    if (type == 0x02)
        base = static_cast<std::uint32_t>(data[0] << 8 | data[1]) << 4;
    else if (type == 0x04)
        base = static_cast<std::uint32_t>(data[0] << 8 | data[1]) << 16;
}

// As the board does: the offset wraps within the 64 KiB the base selects.
std::uint32_t DataAddress(std::uint32_t base, std::uint32_t offset, std::size_t i)
{
    return base + ((offset + static_cast<std::uint32_t>(i)) & 0xFFFF);
}

// The first of the (valid) lines before beforeLine whose data went to the address.
std::size_t FirstLineWriting(std::string_view content, std::uint32_t address, std::size_t beforeLine)
{
    std::size_t found = 0;
    std::uint32_t base = 0;
    std::vector<std::uint8_t> bytes;
    ForEachRecordLine(content, [&](std::size_t lineNumber, std::string_view line) {
        if (lineNumber >= beforeLine)
            return false;
        bytes.clear();
        for (std::size_t i = 1; i + 1 < line.size(); i += 2)
            bytes.push_back(static_cast<std::uint8_t>(HexPairValue(line[i], line[i + 1])));
        const unsigned type = bytes[3];
        const std::uint32_t offset = static_cast<std::uint32_t>(bytes[1] << 8 | bytes[2]);
        for (std::size_t i = 0; type == 0x00 && i < bytes[0]; ++i)
            if (DataAddress(base, offset, i) == address) {
                found = lineNumber;
                return false;
            }
        NextBase(type, bytes.data() + 4, base);
        return true;
    });
    return found;
}
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
    CWrittenPages written;
    std::uint32_t base = 0;
    std::size_t endLine = 0;
    std::vector<std::uint8_t> bytes;
    bool valid = true;
    // Each record; false (with the fault) ends the walk.
    auto check = [&](std::size_t lineNumber, std::string_view line) {
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
        if (type == 0x01)
            endLine = lineNumber;
        NextBase(type, data, base);
        for (std::size_t i = 0; type == 0x00 && i < length; ++i) {
            const std::uint32_t address = DataAddress(base, offset, i);
            std::uint8_t old = 0;
            bool added = false;
            if (!written.Write(address, data[i], old, added))
                return Fail(lineNumber, "address " + Address(address) + " gets " + Hex2(data[i]) + ", line "
                        + std::to_string(FirstLineWriting(content, address, lineNumber)) + " gave it " + Hex2(old));
            if (m_nDataBytes == 0 || address < m_nLow)
                m_nLow = address;
            if (m_nDataBytes == 0 || address > m_nHigh)
                m_nHigh = address;
            if (added)
                ++m_nDataBytes;
        }
        return true;
    };
    const std::size_t lines = ForEachRecordLine(content, [&](std::size_t lineNumber, std::string_view line) {
        valid = check(lineNumber, line);
        return valid;
    });
    if (!valid)
        return false;
    if (endLine == 0)
        return Fail(lines == 0 ? 1 : lines, "the file has no end record (:00000001FF)");
    return true;
}
