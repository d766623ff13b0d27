#include "files/build_diagnostics.h"

#include <cstdio>

namespace {
bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (Lower(text[i]) != prefix[i])
            return false;
    return true;
}

// Reads decimal digits at pos (at most 9); false when there are none.
bool ReadNumber(std::string_view text, std::size_t& pos, int& value)
{
    std::size_t start = pos;
    value = 0;
    while (pos < text.size() && IsDigit(text[pos]) && pos - start < 9)
        value = value * 10 + (text[pos++] - '0');
    return pos > start;
}

// The kind word at the start of text ("error", "fatal error", "warning", "note", in any case),
// ending at a colon, a blank or the end.
std::optional<EDiagnosticKind> KindWord(std::string_view text)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    struct CWord {
        std::string_view m_strWord;
        EDiagnosticKind m_eKind;
    };
    static constexpr CWord kWords[] = {{"fatal error", EDiagnosticKind::Error},
                                       {"error", EDiagnosticKind::Error},
                                       {"warning", EDiagnosticKind::Warning},
                                       {"note", EDiagnosticKind::Note}};
    for (const CWord& word : kWords) {
        if (!StartsWithNoCase(text, word.m_strWord))
            continue;
        std::string_view rest = text.substr(word.m_strWord.size());
        if (rest.empty() || rest.front() == ':' || rest.front() == ' ')
            return word.m_eKind;
    }
    return std::nullopt;
}

bool AllDigits(std::string_view text)
{
    for (char c : text)
        if (!IsDigit(c))
            return false;
    return true;
}

// make's own failure lines: "make: *** [Makefile:3: all] Error 2", "make[1]: *** No rule...".
std::optional<CDiagnostic> ParseMake(std::string_view line)
{
    std::size_t colon = line.find(": *** ");
    if (colon == std::string_view::npos)
        return std::nullopt;
    std::string_view tool = line.substr(0, colon);
    if (std::size_t bracket = tool.find('['); bracket != std::string_view::npos && tool.back() == ']')
        tool = tool.substr(0, bracket);
    if (tool.size() < 4 || tool.substr(tool.size() - 4) != "make" || tool.find(' ') != std::string_view::npos)
        return std::nullopt;
    CDiagnostic diagnostic;
    diagnostic.m_eKind = EDiagnosticKind::Error;
    diagnostic.m_bSummary = true;
    std::string_view rest = line.substr(colon + 6);
    if (!rest.empty() && rest.front() == '[') {
        std::string_view inside = rest.substr(1, rest.find(']') - 1);
        // "Makefile:3: all": the rule's place in the makefile.
        for (std::size_t i = inside.find(':'); i != std::string_view::npos; i = inside.find(':', i + 1)) {
            std::size_t pos = i + 1;
            int number = 0;
            if (i > 0 && ReadNumber(inside, pos, number) && pos < inside.size() && inside[pos] == ':') {
                diagnostic.m_strFile = std::string(inside.substr(0, i));
                diagnostic.m_nLine = number;
                break;
            }
        }
    }
    return diagnostic;
}

// gcc's include chain ahead of a message in a header: "In file included from main.c:3:" and
// "                 from inc.h:2,": a note at the place of the #include.
std::optional<CDiagnostic> ParseIncludedFrom(std::string_view line)
{
    constexpr std::string_view kFirst = "In file included from ";
    constexpr std::string_view kMore = "from ";
    if (line.substr(0, kFirst.size()) == kFirst) {
        line.remove_prefix(kFirst.size());
    } else {
        const std::size_t lead = line.find_first_not_of(' ');
        if (lead == 0 || lead == std::string_view::npos || line.substr(lead, kMore.size()) != kMore)
            return std::nullopt;
        line.remove_prefix(lead + kMore.size());
    }
    if (line.empty() || (line.back() != ':' && line.back() != ','))
        return std::nullopt;
    line.remove_suffix(1);
    // "path:line" or "path:line:column"; the path may hold colons of its own.
    int numbers[2] = {0, 0};
    int found = 0;
    while (found < 2) {
        const std::size_t colon = line.rfind(':');
        std::size_t pos = colon + 1;
        int value = 0;
        if (colon == std::string_view::npos || colon == 0 || !ReadNumber(line, pos, value) || pos != line.size())
            break;
        numbers[found++] = value;
        line = line.substr(0, colon);
    }
    if (found == 0)
        return std::nullopt;
    CDiagnostic diagnostic;
    diagnostic.m_strFile = std::string(line);
    diagnostic.m_nLine = found == 2 ? numbers[1] : numbers[0];
    diagnostic.m_nColumn = found == 2 ? numbers[0] : 0;
    return diagnostic;
}

// "path(line): error C2065: ..." and "path(line,col): warning ...".
std::optional<CDiagnostic> ParseParenthesised(std::string_view line)
{
    for (std::size_t open = line.find('('); open != std::string_view::npos; open = line.find('(', open + 1)) {
        if (open == 0)
            continue;
        std::size_t pos = open + 1;
        CDiagnostic diagnostic;
        if (!ReadNumber(line, pos, diagnostic.m_nLine))
            continue;
        if (pos < line.size() && line[pos] == ',') {
            ++pos;
            if (!ReadNumber(line, pos, diagnostic.m_nColumn))
                continue;
        }
        if (pos >= line.size() || line[pos] != ')')
            continue;
        ++pos;
        while (pos < line.size() && line[pos] == ' ')
            ++pos;
        if (pos >= line.size() || line[pos] != ':')
            continue;
        std::optional<EDiagnosticKind> kind = KindWord(line.substr(pos + 1));
        if (!kind)
            continue;
        diagnostic.m_eKind = *kind;
        diagnostic.m_strFile = std::string(line.substr(0, open));
        return diagnostic;
    }
    return std::nullopt;
}

// "path:line:col: kind: text" and "path:line: text". A candidate followed by a kind word wins
// over an earlier one without (a path may hold colons); without any kind word the first
// candidate is taken, an error when the text says so and a note otherwise.
std::optional<CDiagnostic> ParseColon(std::string_view line)
{
    std::optional<CDiagnostic> first;
    for (std::size_t i = line.find(':'); i != std::string_view::npos; i = line.find(':', i + 1)) {
        if (i == 0 || line[0] == ' ' || line[0] == '\t')
            continue;
        std::size_t pos = i + 1;
        CDiagnostic diagnostic;
        if (!ReadNumber(line, pos, diagnostic.m_nLine))
            continue;
        if (pos + 1 < line.size() && line[pos] == ':' && IsDigit(line[pos + 1])) {
            std::size_t colPos = pos + 1;
            int column = 0;
            ReadNumber(line, colPos, column);
            if (colPos < line.size() && line[colPos] == ':') {
                diagnostic.m_nColumn = column;
                pos = colPos;
            }
        }
        if (pos >= line.size() || line[pos] != ':')
            continue;
        std::string_view path = line.substr(0, i);
        std::string_view text = line.substr(pos + 1);
        if (std::optional<EDiagnosticKind> kind = KindWord(text)) {
            diagnostic.m_eKind = *kind;
            diagnostic.m_strFile = std::string(path);
            return diagnostic;
        }
        if (first || AllDigits(path))
            continue;
        std::string_view trimmed = text.substr(text.find_first_not_of(' ') == std::string_view::npos
                                                   ? text.size()
                                                   : text.find_first_not_of(' '));
        const bool error = trimmed.substr(0, 4) == "*** " || text.find("undefined reference") != std::string_view::npos ||
                           text.find("multiple definition") != std::string_view::npos;
        diagnostic.m_eKind = error ? EDiagnosticKind::Error : EDiagnosticKind::Note;
        diagnostic.m_strFile = std::string(path);
        first = diagnostic;
    }
    return first;
}
} // namespace

CDiagnosticCounts& CDiagnosticCounts::operator+=(const CDiagnosticCounts& other)
{
    m_nErrors += other.m_nErrors;
    m_nWarnings += other.m_nWarnings;
    m_nSummaries += other.m_nSummaries;
    return *this;
}

std::optional<CDiagnostic> CBuildDiagnostics::Parse(std::string_view line)
{
    if (line.size() > kMaxLine)
        line = line.substr(0, kMaxLine);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    // Cheap refusal of most lines: every form has a colon.
    if (line.find(':') == std::string_view::npos) {
        if (line.rfind("?ASlink-Warning-", 0) == 0)
            return CDiagnostic{EDiagnosticKind::Warning, {}, 0, 0, false};
        if (line.rfind("?ASlink-Error-", 0) == 0)
            return CDiagnostic{EDiagnosticKind::Error, {}, 0, 0, false};
        return std::nullopt;
    }
    if (std::optional<CDiagnostic> make = ParseMake(line))
        return make;
    if (std::optional<CDiagnostic> included = ParseIncludedFrom(line))
        return included;
    if (std::optional<CDiagnostic> msvc = ParseParenthesised(line))
        return msvc;
    return ParseColon(line);
}

std::optional<std::string> CBuildDiagnostics::DirectoryChange(std::string_view line, bool& entering)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    std::size_t at = line.find(": Entering directory ");
    entering = at != std::string_view::npos;
    if (!entering)
        at = line.find(": Leaving directory ");
    if (at == std::string_view::npos || line.find("make") >= at)
        return std::nullopt;
    std::string_view rest = line.substr(line.find("directory ", at) + 10);
    // The folder is quoted 'D' (or `D' by older versions).
    if (rest.size() < 2 || (rest.front() != '\'' && rest.front() != '`') || rest.back() != '\'')
        return std::nullopt;
    return std::string(rest.substr(1, rest.size() - 2));
}

std::string CBuildDiagnostics::ResolvePath(const std::string& file, const std::string& folder)
{
    const bool drive = file.size() >= 3 && ((file[0] >= 'A' && file[0] <= 'Z') || (file[0] >= 'a' && file[0] <= 'z')) &&
                       file[1] == ':' && (file[2] == '\\' || file[2] == '/');
    if (file.empty() || folder.empty() || file[0] == '/' || drive)
        return file;
    if (folder.back() == '/')
        return folder + file;
    return folder + '/' + file;
}

std::string CBuildDiagnostics::CountText(const CDiagnosticCounts& counts)
{
    auto count = [](int n, const char* word) {
        return std::to_string(n) + ' ' + word + (n == 1 ? "" : "s");
    };
    return count(counts.Errors(), "error") + ", " + count(counts.Warnings(), "warning");
}

std::string CBuildDiagnostics::ResultLine(const CExitStatus& status, double seconds, const CDiagnosticCounts& counts)
{
    std::string head;
    if (status.m_bStopped) {
        head = "Build stopped";
    } else if (status.m_bSignalled) {
        head = "Builder ended by signal " + std::to_string(status.m_nCode);
    } else {
        char time[32];
        std::snprintf(time, sizeof time, "%.1f s", seconds < 0 ? 0.0 : seconds);
        head = std::string(status.m_nCode == 0 ? "Build finished" : "Build failed") + " (exit code " +
               std::to_string(status.m_nCode) + ", " + time + ")";
    }
    return head + ": " + CountText(counts);
}

void CBuildDiagnostics::Feed(std::string_view bytes)
{
    while (!bytes.empty()) {
        std::size_t end = bytes.find('\n');
        std::string_view piece = bytes.substr(0, end);
        // A line is examined from its first run when it is whole there (no copy).
        if (m_strLine.empty() && !m_bLineCut && end != std::string_view::npos) {
            CountLine(piece);
        } else {
            std::size_t room = kMaxLine - m_strLine.size();
            m_strLine.append(piece.substr(0, room));
            m_bLineCut = m_bLineCut || piece.size() > room;
            if (end != std::string_view::npos) {
                CountLine(m_strLine);
                m_strLine.clear();
                m_bLineCut = false;
            }
        }
        if (end == std::string_view::npos)
            break;
        bytes.remove_prefix(end + 1);
    }
}

void CBuildDiagnostics::Finish()
{
    if (!m_strLine.empty())
        CountLine(m_strLine);
    m_strLine.clear();
    m_bLineCut = false;
}

void CBuildDiagnostics::Reset()
{
    m_strLine.clear();
    m_bLineCut = false;
    m_counts = {};
}

void CBuildDiagnostics::CountLine(std::string_view line)
{
    std::optional<CDiagnostic> diagnostic = Parse(line);
    if (!diagnostic)
        return;
    if (diagnostic->m_bSummary)
        ++m_counts.m_nSummaries;
    else if (diagnostic->m_eKind == EDiagnosticKind::Error)
        ++m_counts.m_nErrors;
    else if (diagnostic->m_eKind == EDiagnosticKind::Warning)
        ++m_counts.m_nWarnings;
}
