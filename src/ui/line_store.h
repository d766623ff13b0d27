#pragma once
// CLineStore: the lines of a text pane that a stream keeps appending to (the terminal, the
// build output). Not thread-safe: one thread appends and reads (the GUI thread). The store owns
// its bytes; a string_view from Line() stays valid only until the next change.
//
// Lines live in one arena of fixed-size chunks (no allocation per line): at most MaxLines()
// lines and MaxBytes() bytes are kept, the oldest going first. A line never holds more than
// kMaxLineLength characters: the next one continues on a new line. CR LF, CR and LF each end a
// line within a run. Each line keeps the time (ms, the caller's clock) its first byte arrived.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CLineStore {
public:
    static constexpr std::size_t kMaxLineLength = 1024;
    static constexpr std::size_t kDefaultMaxLines = 10000;
    static constexpr std::size_t kLargestMaxLines = 1000000;
    // The text is also bounded in bytes: this many a line on average, and never below kMinBytes.
    static constexpr std::size_t kBytesPerLine = 128;
    static constexpr std::size_t kMinBytes = 16u << 20;
    static constexpr std::size_t kChunkSize = 64u << 10;

    explicit CLineStore(std::size_t maxLines = kDefaultMaxLines);

    // Clamped to 1 .. kLargestMaxLines; drops the oldest lines beyond the new bound at once.
    void SetMaxLines(std::size_t maxLines);
    std::size_t MaxLines() const { return m_nMaxLines; }
    std::size_t MaxBytes() const { return m_nMaxBytes; }

    // Appends a run of text at the end of the last line; nowMs stamps the lines it begins.
    void Append(std::string_view run, std::int64_t nowMs);
    // Deletes the last character: a line end too (the last line joins the one before it);
    // false when nothing is left.
    bool DeleteLastChar();
    void Clear();

    // There is always at least one line (the last one may be empty).
    std::size_t LineCount() const { return m_lines.size(); }
    std::string_view Line(std::size_t index) const;
    // The arrival time of the line's first byte; 0 for a line nothing has arrived on yet.
    std::int64_t LineTime(std::size_t index) const { return m_lines[index].m_nTime; }
    // Lines dropped at the top since the store was made or cleared (a view keeps its place).
    std::uint64_t DroppedLines() const { return m_nDropped; }
    // The longest line kept since the last Clear (for a horizontal scroll range).
    std::size_t LongestLine() const { return m_nLongest; }
    // Bytes held in chunks (the store's memory, within about a chunk of MaxBytes()).
    std::size_t ArenaBytes() const { return m_chunks.size() * kChunkSize; }
    // All lines joined by '\n'.
    std::string Text() const;

private:
    struct CLine {
        std::uint64_t m_nOffset; // arena position: chunk number * kChunkSize + position in it
        std::uint32_t m_nLength;
        std::int64_t m_nTime;
    };

    char* At(std::uint64_t offset);
    const char* At(std::uint64_t offset) const;
    void NewLine();
    // Makes the last line end where the arena's free space starts, with room for a full line.
    void MakeLastLineGrowable();
    void AppendChars(const char* data, std::size_t count, std::int64_t nowMs);
    void Trim();

    std::size_t m_nMaxLines;
    std::size_t m_nMaxBytes;
    std::deque<CLine> m_lines;
    std::deque<std::unique_ptr<char[]>> m_chunks;
    // Chunk number of m_chunks.front(); chunk numbers only grow.
    std::uint64_t m_nFirstChunk = 0;
    // Where the next byte goes.
    std::uint64_t m_nWrite = 0;
    std::uint64_t m_nDropped = 0;
    std::size_t m_nLongest = 0;
};
