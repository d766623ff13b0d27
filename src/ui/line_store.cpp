#include "ui/line_store.h"

#include <algorithm>
#include <cstring>

CLineStore::CLineStore(std::size_t maxLines)
{
    SetMaxLines(maxLines);
    Clear();
}

void CLineStore::SetMaxLines(std::size_t maxLines)
{
    m_nMaxLines = std::clamp<std::size_t>(maxLines, 1, kLargestMaxLines);
    m_nMaxBytes = std::max(kMinBytes, m_nMaxLines * kBytesPerLine);
    if (!m_lines.empty())
        Trim();
}

void CLineStore::Clear()
{
    m_lines.clear();
    m_chunks.clear();
    m_nFirstChunk = 0;
    m_nWrite = 0;
    m_nDropped = 0;
    m_nLongest = 0;
    m_lines.push_back(CLine{0, 0, 0});
}

char* CLineStore::At(std::uint64_t offset)
{
    return m_chunks[offset / kChunkSize - m_nFirstChunk].get() + offset % kChunkSize;
}

const char* CLineStore::At(std::uint64_t offset) const
{
    return m_chunks[offset / kChunkSize - m_nFirstChunk].get() + offset % kChunkSize;
}

std::string_view CLineStore::Line(std::size_t index) const
{
    const CLine& line = m_lines[index];
    if (line.m_nLength == 0)
        return {};
    return {At(line.m_nOffset), line.m_nLength};
}

std::string CLineStore::Text() const
{
    std::string text;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (i > 0)
            text += '\n';
        text += Line(i);
    }
    return text;
}

void CLineStore::NewLine()
{
    m_lines.push_back(CLine{m_nWrite, 0, 0});
    Trim();
}

void CLineStore::MakeLastLineGrowable()
{
    CLine& last = m_lines.back();
    const std::uint64_t chunkEnd = (m_nFirstChunk + m_chunks.size()) * kChunkSize;
    const std::uint64_t room = chunkEnd - m_nWrite;
    if (last.m_nOffset + last.m_nLength == m_nWrite && room >= kMaxLineLength - last.m_nLength)
        return;
    // Moved (at most one line's bytes) to where a whole line fits; what it left is dropped
    // with its chunk.
    if (room < kMaxLineLength) {
        // Not zeroed: every byte is written before it is read.
        m_chunks.push_back(std::unique_ptr<char[]>(new char[kChunkSize]));
        m_nWrite = chunkEnd;
    }
    if (last.m_nLength > 0)
        std::memmove(At(m_nWrite), At(last.m_nOffset), last.m_nLength);
    last.m_nOffset = m_nWrite;
    m_nWrite += last.m_nLength;
    Trim();
}

void CLineStore::AppendChars(const char* data, std::size_t count, std::int64_t nowMs)
{
    while (count > 0) {
        if (m_lines.back().m_nLength >= kMaxLineLength) {
            NewLine();
            continue;
        }
        MakeLastLineGrowable();
        CLine& last = m_lines.back();
        const std::size_t take = std::min<std::size_t>(count, kMaxLineLength - last.m_nLength);
        std::memcpy(At(m_nWrite), data, take);
        if (last.m_nLength == 0 && last.m_nTime == 0)
            last.m_nTime = nowMs;
        last.m_nLength += static_cast<std::uint32_t>(take);
        m_nWrite += take;
        m_nLongest = std::max<std::size_t>(m_nLongest, last.m_nLength);
        data += take;
        count -= take;
    }
}

void CLineStore::Append(std::string_view run, std::int64_t nowMs)
{
    // Line ends found with memchr (vectorised); the next CR is remembered until passed, so a
    // run without one is searched for it once.
    const char* const begin = run.data();
    const char* const end = begin + run.size();
    const char* nextCr = nullptr;
    const char* at = begin;
    while (at < end) {
        if (nextCr == nullptr || (nextCr != end && nextCr < at)) {
            nextCr = static_cast<const char*>(std::memchr(at, '\r', static_cast<std::size_t>(end - at)));
            if (nextCr == nullptr)
                nextCr = end;
        }
        const char* lf = static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(std::min(nextCr, end) - at)));
        const char* stop = lf != nullptr ? lf : nextCr;
        AppendChars(at, static_cast<std::size_t>(stop - at), nowMs);
        if (stop == end)
            break;
        // The line end is the first byte of a line that had nothing else.
        if (m_lines.back().m_nTime == 0)
            m_lines.back().m_nTime = nowMs;
        NewLine();
        if (*stop == '\r' && stop + 1 < end && stop[1] == '\n')
            ++stop;
        at = stop + 1;
    }
}

bool CLineStore::DeleteLastChar()
{
    CLine& last = m_lines.back();
    if (last.m_nLength > 0) {
        --last.m_nLength;
        if (last.m_nOffset + last.m_nLength + 1 == m_nWrite)
            --m_nWrite;
        return true;
    }
    if (m_lines.size() > 1) {
        m_lines.pop_back();
        return true;
    }
    return false;
}

void CLineStore::Trim()
{
    while (m_lines.size() > m_nMaxLines) {
        m_lines.pop_front();
        ++m_nDropped;
    }
    // Over the byte bound: the lines of the oldest chunk go, then the chunk.
    while (m_chunks.size() * kChunkSize > m_nMaxBytes && m_lines.size() > 1) {
        while (m_lines.size() > 1 && m_lines.front().m_nOffset / kChunkSize <= m_nFirstChunk) {
            m_lines.pop_front();
            ++m_nDropped;
        }
        if (m_lines.front().m_nOffset / kChunkSize <= m_nFirstChunk)
            break;
        m_chunks.pop_front();
        ++m_nFirstChunk;
    }
    // Chunks before the first line's hold nothing kept (the last chunk stays for writing).
    const std::uint64_t keepFrom = m_lines.front().m_nOffset / kChunkSize;
    while (m_chunks.size() > 1 && m_nFirstChunk < keepFrom) {
        m_chunks.pop_front();
        ++m_nFirstChunk;
    }
}
