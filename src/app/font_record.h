#pragma once
// Font records as stored under "TerminalFont" and "OutputFont": the 60-byte LOGFONTA layout
// (little-endian). Only the height, the weight, the italic flag and the face name are used.
// Pure functions, any thread.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct CFontRecord {
    // Negative: character height in pixels; positive: cell height in pixels; 0: default size.
    std::int32_t m_nHeight = 0;
    // 0 (default) or 1..1000 (400 normal, 700 bold).
    std::int32_t m_nWeight = 0;
    bool m_bItalic = false;
    std::string m_strFaceName;
};

inline constexpr std::size_t kLogFontSize = 60;

// The record when value is exactly 60 bytes long; any other size is ignored.
std::optional<CFontRecord> ParseLogFont(const std::vector<std::uint8_t>& value);
// The 60-byte form of a record (face name cut to 31 characters).
std::vector<std::uint8_t> MakeLogFont(const CFontRecord& record);
