#include "ui/byte_ring.h"

#include <algorithm>
#include <cstdio>

CByteRing::CByteRing(std::size_t capacity)
{
    SetCapacity(capacity);
}

void CByteRing::SetCapacity(std::size_t capacity)
{
    capacity = std::max<std::size_t>(kRowBytes, (capacity + kRowBytes - 1) / kRowBytes * kRowBytes);
    if (capacity == m_data.size())
        return;
    std::vector<std::uint8_t> data(capacity);
    const std::size_t keep = std::min(m_nKept, capacity);
    for (std::uint64_t o = m_nTotal - keep; o < m_nTotal; ++o)
        data[o % capacity] = At(o);
    m_data.swap(data);
    m_nKept = keep;
}

void CByteRing::Append(const std::uint8_t* data, std::size_t count)
{
    const std::size_t size = m_data.size();
    // Only the newest bytes that fit are written.
    if (count > size) {
        m_nTotal += count - size;
        data += count - size;
        count = size;
    }
    std::size_t at = static_cast<std::size_t>(m_nTotal % size);
    while (count > 0) {
        const std::size_t take = std::min(count, size - at);
        std::copy(data, data + take, m_data.begin() + static_cast<std::ptrdiff_t>(at));
        data += take;
        count -= take;
        m_nTotal += take;
        m_nKept = std::min(size, m_nKept + take);
        at = 0;
    }
}

void CByteRing::Clear()
{
    m_nTotal = 0;
    m_nKept = 0;
}

std::uint64_t CByteRing::FirstRowOffset() const
{
    return (FirstKept() + kRowBytes - 1) / kRowBytes * kRowBytes;
}

std::size_t CByteRing::RowCount() const
{
    const std::uint64_t first = FirstRowOffset();
    if (m_nTotal <= first)
        return 0;
    return static_cast<std::size_t>((m_nTotal - first + kRowBytes - 1) / kRowBytes);
}

std::string CByteRing::RowText(std::size_t row) const
{
    const std::uint64_t start = FirstRowOffset() + row * kRowBytes;
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(kRowBytes, m_nTotal - start));
    char text[16];
    std::snprintf(text, sizeof text, "%08llX  ", static_cast<unsigned long long>(start));
    std::string line = text;
    std::string printable;
    static const char kHex[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < kRowBytes; ++i) {
        if (i == kRowBytes / 2)
            line += ' ';
        if (i < count) {
            const std::uint8_t b = At(start + i);
            line += kHex[b >> 4];
            line += kHex[b & 0x0F];
            line += ' ';
            printable += (b >= 0x20 && b <= 0x7E) ? static_cast<char>(b) : '.';
        } else {
            line += "   ";
        }
    }
    return line + ' ' + printable;
}
