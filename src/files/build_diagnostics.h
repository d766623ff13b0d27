#pragma once
// CBuildDiagnostics: recognises the messages of compilers, assemblers, linkers and make in a
// builder's output lines (gcc, clang, sdcc, as, ld, MSVC-like tools, make) and counts them.
// The static functions are pure (any thread). An object counts the lines of one stream fed to
// it and belongs to one thread at a time; whoever hands it over synchronises.

#include "files/process_runner.h"

#include <optional>
#include <string>
#include <string_view>

enum class EDiagnosticKind { Error, Warning, Note };

struct CDiagnostic {
    EDiagnosticKind m_eKind = EDiagnosticKind::Note;
    // The file as the tool wrote it; empty when the message names no place.
    std::string m_strFile;
    int m_nLine = 0;
    int m_nColumn = 0;
    // make's "*** ... Error N": it repeats a failure already reported by the tool make ran.
    bool m_bSummary = false;

    bool operator==(const CDiagnostic&) const = default;
};

struct CDiagnosticCounts {
    int m_nErrors = 0;
    int m_nWarnings = 0;
    int m_nSummaries = 0;

    CDiagnosticCounts& operator+=(const CDiagnosticCounts& other);
    // make's summaries count only when no tool reported an error itself.
    int Errors() const { return m_nErrors > 0 ? m_nErrors : m_nSummaries; }
    int Warnings() const { return m_nWarnings; }
};

class CBuildDiagnostics {
public:
    // A longer line is cut here for recognition (the rest is not examined).
    static constexpr std::size_t kMaxLine = 4096;

    // One line (without its line feed; a trailing carriage return is ignored).
    static std::optional<CDiagnostic> Parse(std::string_view line);
    // make's "Entering directory 'D'" (the folder) and "Leaving directory 'D'" (entering false).
    static std::optional<std::string> DirectoryChange(std::string_view line, bool& entering);
    // file relative to folder unless it is absolute (also a Windows drive path); an empty folder
    // leaves it as it is.
    static std::string ResolvePath(const std::string& file, const std::string& folder);
    // "3 errors, 1 warning".
    static std::string CountText(const CDiagnosticCounts& counts);
    // The line shown when a build ends: "Build finished (exit code 0, 1.2 s): 0 errors, 0
    // warnings", "Build failed (exit code 2, 0.4 s): ...", "Build stopped: ...", "Builder
    // ended by signal 9: ...".
    static std::string ResultLine(const CExitStatus& status, double seconds, const CDiagnosticCounts& counts);

    // Feeds bytes of one stream; each completed line is recognised and counted.
    void Feed(std::string_view bytes);
    // Recognises a last line that has no line feed.
    void Finish();
    void Reset();
    const CDiagnosticCounts& Counts() const { return m_counts; }

private:
    void CountLine(std::string_view line);

    std::string m_strLine;
    bool m_bLineCut = false;
    CDiagnosticCounts m_counts;
};
