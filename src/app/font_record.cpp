#include "app/font_record.h"

#include <algorithm>

namespace {
constexpr std::size_t kHeightOffset = 0;
constexpr std::size_t kWeightOffset = 16;
constexpr std::size_t kItalicOffset = 20;
constexpr std::size_t kFaceNameOffset = 28;
constexpr std::size_t kFaceNameSize = 32;

std::int32_t ReadInt32(const std::vector<std::uint8_t>& data, std::size_t offset)
{
    std::uint32_t v = std::uint32_t(data[offset]) | std::uint32_t(data[offset + 1]) << 8 |
                      std::uint32_t(data[offset + 2]) << 16 | std::uint32_t(data[offset + 3]) << 24;
    return static_cast<std::int32_t>(v);
}

void WriteInt32(std::vector<std::uint8_t>& data, std::size_t offset, std::int32_t value)
{
    auto v = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        data[offset + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
} // namespace

std::optional<CFontRecord> ParseLogFont(const std::vector<std::uint8_t>& value)
{
    if (value.size() != kLogFontSize)
        return std::nullopt;
    CFontRecord record;
    record.m_nHeight = ReadInt32(value, kHeightOffset);
    record.m_nWeight = ReadInt32(value, kWeightOffset);
    record.m_bItalic = value[kItalicOffset] != 0;
    // The face name ends at its terminator, or at the end of its field when there is none.
    auto begin = value.begin() + kFaceNameOffset;
    auto end = std::find(begin, begin + kFaceNameSize, std::uint8_t(0));
    record.m_strFaceName.assign(begin, end);
    return record;
}

std::vector<std::uint8_t> MakeLogFont(const CFontRecord& record)
{
    std::vector<std::uint8_t> data(kLogFontSize, 0);
    WriteInt32(data, kHeightOffset, record.m_nHeight);
    WriteInt32(data, kWeightOffset, record.m_nWeight);
    data[kItalicOffset] = record.m_bItalic ? 1 : 0;
    std::size_t n = std::min(record.m_strFaceName.size(), kFaceNameSize - 1);
    std::copy_n(record.m_strFaceName.begin(), n, data.begin() + kFaceNameOffset);
    return data;
}
