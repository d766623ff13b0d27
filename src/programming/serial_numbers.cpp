#include "programming/serial_numbers.h"

#include "base/output_file.h"
#include "base/regular_file.h"
#include "programming/intel_hex_patch.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>

namespace {
// A whole number, decimal or 0x hex.
bool ParseValue(const std::string& text, std::uint64_t& value)
{
    int radix = 10;
    std::size_t at = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        radix = 16;
        at = 2;
    }
    const char* first = text.data() + at;
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(first, last, value, radix);
    return first != last && error == std::errc() && end == last;
}

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == separator)
            parts.emplace_back();
        else
            parts.back().push_back(c);
    }
    return parts;
}

std::string HexAddress(std::uint32_t address)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", address);
    return text;
}
} // namespace

bool CSerialNumbers::Parse(const std::string& option, std::string& why)
{
    std::vector<std::string> parts = Split(option, ':');
    // ascii:W takes two parts.
    if (parts.size() >= 3 && parts[1] == "ascii") {
        parts[1] += ":" + parts[2];
        parts.erase(parts.begin() + 2);
    }
    why = "--serial takes ADDR:FORMAT:START[:STEP]";
    if (parts.size() < 3 || parts.size() > 4)
        return false;
    std::uint64_t value = 0;
    if (!ParseValue(parts[0], value) || value > 0xFFFFFFFFu) {
        why = "--serial: '" + parts[0] + "' is not an address (decimal or 0x hex, up to 0xFFFFFFFF)";
        return false;
    }
    m_nAddress = static_cast<std::uint32_t>(value);
    const std::string& format = parts[1];
    m_nDigits = 0;
    if (format == "le16")
        m_eFormat = EFormat::Le16;
    else if (format == "le32")
        m_eFormat = EFormat::Le32;
    else if (format == "be16")
        m_eFormat = EFormat::Be16;
    else if (format == "be32")
        m_eFormat = EFormat::Be32;
    else if (format.rfind("ascii:", 0) == 0 && ParseValue(format.substr(6), value) && value >= 1 && value <= 20) {
        m_eFormat = EFormat::Ascii;
        m_nDigits = static_cast<unsigned>(value);
    } else {
        why = "--serial: the format '" + format + "' is none of le16, le32, be16, be32, ascii:W (W 1 to 20)";
        return false;
    }
    if (!ParseValue(parts[2], m_nStart)) {
        why = "--serial: '" + parts[2] + "' is not a number";
        return false;
    }
    m_nStep = 1;
    if (parts.size() == 4 && (!ParseValue(parts[3], m_nStep) || m_nStep == 0)) {
        why = "--serial: the step '" + parts[3] + "' is not a number from 1";
        return false;
    }
    std::vector<std::uint8_t> bytes;
    if (!Bytes(m_nStart, bytes)) {
        why = "--serial: " + Text(m_nStart) + " does not fit " + format;
        return false;
    }
    why.clear();
    std::lock_guard lock(m_mutex);
    m_nNext = m_nStart;
    m_free.clear();
    return true;
}

std::size_t CSerialNumbers::Width() const
{
    switch (m_eFormat) {
    case EFormat::Le16:
    case EFormat::Be16: return 2;
    case EFormat::Le32:
    case EFormat::Be32: return 4;
    case EFormat::Ascii: return m_nDigits;
    }
    return 0;
}

bool CSerialNumbers::Bytes(std::uint64_t number, std::vector<std::uint8_t>& bytes) const
{
    bytes.clear();
    const std::size_t width = Width();
    if (m_eFormat == EFormat::Ascii) {
        const std::string text = Text(number);
        if (text.size() > width)
            return false;
        bytes.assign(text.begin(), text.end());
        return true;
    }
    if (width < 8 && number >> (8 * width) != 0)
        return false;
    for (std::size_t i = 0; i < width; ++i)
        bytes.push_back(static_cast<std::uint8_t>(number >> (8 * i)));
    if (m_eFormat == EFormat::Be16 || m_eFormat == EFormat::Be32)
        std::reverse(bytes.begin(), bytes.end());
    return true;
}

std::string CSerialNumbers::Text(std::uint64_t number) const
{
    std::string text = std::to_string(number);
    if (m_eFormat == EFormat::Ascii && text.size() < m_nDigits)
        text.insert(0, m_nDigits - text.size(), '0');
    return text;
}

bool CSerialNumbers::Patch(const CProgramImage& image, std::uint64_t number, CProgramImage& patched,
    std::string& why) const
{
    if (!image.m_bHex) {
        why = "a serial number needs an Intel HEX file (its records give the addresses)";
        return false;
    }
    std::vector<std::uint8_t> bytes;
    if (!Bytes(number, bytes)) {
        why = "the serial number " + Text(number) + " does not fit its format";
        return false;
    }
    const std::string_view content(reinterpret_cast<const char*>(image.m_data.data()), image.m_data.size());
    std::string text;
    std::uint32_t missing = 0;
    if (!CIntelHexPatch::Apply(content, m_nAddress, bytes, text, missing)) {
        why = "the serial number's address " + HexAddress(missing) + " is not in the file's data records ("
            + std::to_string(bytes.size()) + " bytes from " + HexAddress(m_nAddress) + " are needed)";
        return false;
    }
    patched = image.WithData(std::vector<std::uint8_t>(text.begin(), text.end()));
    return true;
}

bool CSerialNumbers::Open(std::string& why)
{
    if (m_strFile.empty())
        return true;
    CRegularFile file;
    std::error_code code = file.Open(m_strFile);
    if (code == std::errc::no_such_file_or_directory) {
        std::lock_guard lock(m_mutex);
        return Save(m_nNext, why);
    }
    std::vector<std::uint8_t> data;
    if (!code)
        code = file.ReadAll(data);
    if (code) {
        why = "cannot read the serial-number file " + m_strFile + ": " + code.message();
        return false;
    }
    std::string text(data.begin(), data.end());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    std::uint64_t next = 0;
    std::vector<std::uint8_t> bytes;
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || !ParseValue(text, next)) {
        why = "the serial-number file " + m_strFile + " does not hold a number ('" + text.substr(0, 40) + "')";
        return false;
    }
    if (!Bytes(next, bytes)) {
        why = "the serial-number file " + m_strFile + " holds " + text + ", which does not fit the format";
        return false;
    }
    std::lock_guard lock(m_mutex);
    m_nNext = next;
    return true;
}

bool CSerialNumbers::Take(std::uint64_t& number, std::string& why)
{
    std::lock_guard lock(m_mutex);
    std::vector<std::uint8_t> bytes;
    if (!m_free.empty()) {
        number = *m_free.begin();
        m_free.erase(m_free.begin());
        return true;
    }
    if (!Bytes(m_nNext, bytes)) {
        why = "the serial number " + Text(m_nNext) + " does not fit its format";
        return false;
    }
    number = m_nNext;
    // Used from now on, whatever happens to the run.
    if (!Save(m_nNext + m_nStep, why))
        return false;
    m_nNext += m_nStep;
    return true;
}

bool CSerialNumbers::Give(std::uint64_t number, bool completed, std::string& why)
{
    std::lock_guard lock(m_mutex);
    if (!completed && !m_bSkipOnFailure) {
        m_free.insert(number);
        // The last numbers taken come back to the counter, so the file says the next one again.
        while (!m_free.empty() && m_nNext >= m_nStep && m_free.count(m_nNext - m_nStep)) {
            m_free.erase(m_nNext - m_nStep);
            m_nNext -= m_nStep;
        }
    }
    return Save(m_nNext, why);
}

std::uint64_t CSerialNumbers::Next() const
{
    std::lock_guard lock(m_mutex);
    return m_free.empty() ? m_nNext : *m_free.begin();
}

bool CSerialNumbers::Save(std::uint64_t next, std::string& why)
{
    if (m_strFile.empty())
        return true;
    const std::string temporary = m_strFile + ".tmp";
    const std::string text = std::to_string(next) + "\n";
    COutputFile file;
    std::error_code code = file.Create(temporary);
    if (!code)
        code = file.WriteAll(text.data(), text.size());
    if (!code)
        code = file.Sync();
    if (const std::error_code closed = file.Close(); !code)
        code = closed;
    if (!code)
        std::filesystem::rename(temporary, m_strFile, code);
    if (code) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        why = "cannot write the serial-number file " + m_strFile + ": " + code.message();
        return false;
    }
    return true;
}
