#pragma once
// CByteRing: the newest bytes of a stream, kept for a hex view, with their offsets since the
// last Clear. Not thread-safe: one thread appends and reads (the GUI thread). At most
// Capacity() bytes are kept; the oldest go first.
//
// Rows are 16 bytes at offsets that are multiples of 16: "00000010  41 42 ...  AB..", the
// offset, the bytes in hex (a gap after the eighth) and the printable column ('.' for the rest).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CByteRing {
public:
    static constexpr std::size_t kRowBytes = 16;

    explicit CByteRing(std::size_t capacity);

    // Keeps the newest bytes that fit the new capacity (rounded up to whole rows).
    void SetCapacity(std::size_t capacity);
    std::size_t Capacity() const { return m_data.size(); }

    void Append(const std::uint8_t* data, std::size_t count);
    void Clear();

    // Bytes appended since the last Clear, and the offset of the oldest byte kept.
    std::uint64_t Total() const { return m_nTotal; }
    std::uint64_t FirstKept() const { return m_nTotal - m_nKept; }
    std::uint8_t At(std::uint64_t offset) const { return m_data[offset % m_data.size()]; }

    // Whole rows from the first row boundary at or after FirstKept(); the last may be partial.
    std::size_t RowCount() const;
    std::string RowText(std::size_t row) const;

private:
    std::uint64_t FirstRowOffset() const;

    // Byte at offset o lives at m_data[o % size].
    std::vector<std::uint8_t> m_data;
    std::uint64_t m_nTotal = 0;
    std::size_t m_nKept = 0;
};
