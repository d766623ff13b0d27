#include "cli/json_writer.h"

#include <cstdio>

void CJsonWriter::Key(std::string_view key)
{
    if (!m_bFirst)
        m_strText += ',';
    m_bFirst = false;
    if (!key.empty())
        m_strText += Quoted(key) + ':';
}

CJsonWriter& CJsonWriter::BeginObject(std::string_view key)
{
    Key(key);
    m_strText += '{';
    m_bFirst = true;
    return *this;
}

CJsonWriter& CJsonWriter::EndObject()
{
    m_strText += '}';
    m_bFirst = false;
    return *this;
}

CJsonWriter& CJsonWriter::BeginArray(std::string_view key)
{
    Key(key);
    m_strText += '[';
    m_bFirst = true;
    return *this;
}

CJsonWriter& CJsonWriter::EndArray()
{
    m_strText += ']';
    m_bFirst = false;
    return *this;
}

CJsonWriter& CJsonWriter::String(std::string_view key, std::string_view value)
{
    Key(key);
    m_strText += Quoted(value);
    return *this;
}

CJsonWriter& CJsonWriter::Nullable(std::string_view key, const std::optional<std::string>& value)
{
    if (value)
        return String(key, std::string_view(*value));
    Key(key);
    m_strText += "null";
    return *this;
}

CJsonWriter& CJsonWriter::Number(std::string_view key, std::uint64_t value)
{
    Key(key);
    m_strText += std::to_string(value);
    return *this;
}

CJsonWriter& CJsonWriter::Number(std::string_view key, double value)
{
    Key(key);
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    m_strText += text;
    return *this;
}

std::string CJsonWriter::Quoted(std::string_view text)
{
    std::string quoted = "\"";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (c == '\n') {
            quoted += "\\n";
        } else if (c == '\r') {
            quoted += "\\r";
        } else if (c == '\t') {
            quoted += "\\t";
        } else if (byte < 0x20 || byte >= 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + '"';
}
