#pragma once
// CJsonWriter: one JSON object built up as text, for qxprog's --json output. Keys and string
// values are escaped here (control characters, quotes, backslashes; bytes 0x7F and up as
// \u00XX, read as Latin-1, so a board's noise never makes the output invalid UTF-8). Nested
// objects and arrays are opened and closed by the caller in order. One thread; the nesting
// is not checked.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class CJsonWriter {
public:
    CJsonWriter& BeginObject(std::string_view key = {});
    CJsonWriter& EndObject();
    CJsonWriter& BeginArray(std::string_view key);
    CJsonWriter& EndArray();
    CJsonWriter& String(std::string_view key, std::string_view value);
    // null when the value is not there.
    CJsonWriter& Nullable(std::string_view key, const std::optional<std::string>& value);
    CJsonWriter& Number(std::string_view key, std::uint64_t value);
    // With three decimals (seconds).
    CJsonWriter& Number(std::string_view key, double value);
    const std::string& Text() const { return m_strText; }
    static std::string Quoted(std::string_view text);

private:
    void Key(std::string_view key);

    std::string m_strText;
    bool m_bFirst = true;
};
