// The diagnostic recogniser, one row per form of message: gcc, clang, sdcc, as, ld, make,
// MSVC-like tools, paths with blanks and colons, Windows drive letters; the counts and the
// result line.

#include "files/build_diagnostics.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {
using K = EDiagnosticKind;

struct CRow {
    const char* m_strName;
    const char* m_strLine;
    bool m_bFound;
    CDiagnostic m_expected;
};

const CRow kRows[] = {
    {"gcc_error", "src/main.c:12:5: error: 'x' undeclared (first use in this function)", true, {K::Error, "src/main.c", 12, 5, false}},
    {"gcc_fatal", "main.c:1:10: fatal error: foo.h: No such file or directory", true, {K::Error, "main.c", 1, 10, false}},
    {"gcc_warning", "blink.c:7:9: warning: unused variable 'n' [-Wunused-variable]", true, {K::Warning, "blink.c", 7, 9, false}},
    {"gcc_note", "blink.c:3:6: note: declared here", true, {K::Note, "blink.c", 3, 6, false}},
    {"clang_crlf", "/home/u/p/a.cpp:40:3: error: use of undeclared identifier 'y'\r", true, {K::Error, "/home/u/p/a.cpp", 40, 3, false}},
    {"sdcc_error", "blink.c:12: error 20: Undefined identifier 'P1_0'", true, {K::Error, "blink.c", 12, 0, false}},
    {"sdcc_warning", "blink.c:5: warning 85: in function main unreferenced local variable : 'i'", true, {K::Warning, "blink.c", 5, 0, false}},
    {"sdas_error", "crt0.asm:33: Error: <a> machine specific addressing or addressing mode error", true, {K::Error, "crt0.asm", 33, 0, false}},
    {"aslink_warning", "?ASlink-Warning-Undefined Global '_foo' referenced by module 'main'", true, {K::Warning, "", 0, 0, false}},
    {"ld_undefined", "main.c:9: undefined reference to `foo'", true, {K::Error, "main.c", 9, 0, false}},
    {"make_summary", "make: *** [Makefile:3: all] Error 2", true, {K::Error, "Makefile", 3, 0, true}},
    {"make_sub_summary", "make[1]: *** [build] Error 1", true, {K::Error, "", 0, 0, true}},
    {"make_no_rule", "make: *** No rule to make target 'x.c', needed by 'x.o'.  Stop.", true, {K::Error, "", 0, 0, true}},
    {"makefile_syntax", "Makefile:5: *** missing separator.  Stop.", true, {K::Error, "Makefile", 5, 0, false}},
    {"msvc_error", "C:\\src\\main.c(12): error C2065: 'x': undeclared identifier", true, {K::Error, "C:\\src\\main.c", 12, 0, false}},
    {"msvc_column", "main.c(7,14) : warning C4101: 'i': unreferenced local variable", true, {K::Warning, "main.c", 7, 14, false}},
    {"blanks_in_path", "/home/u/My Projects/led blink.c:4:2: error: expected ';'", true, {K::Error, "/home/u/My Projects/led blink.c", 4, 2, false}},
    {"colons_in_path", "/tmp/a:1:b/c.c:8:1: warning: x", true, {K::Warning, "/tmp/a:1:b/c.c", 8, 1, false}},
    {"drive_letter", "C:/work/blink.c:21:3: error: y", true, {K::Error, "C:/work/blink.c", 21, 3, false}},
    {"location_only", "Makefile:12: recipe for target 'all' failed", true, {K::Note, "Makefile", 12, 0, false}},
    {"plain_line", "Building blink.hex", false, {}},
    {"time_of_day", "12:30:45 build started", false, {}},
    {"gcc_context", "   12 |     int x = y;", false, {}},
    {"in_function", "blink.c: In function 'main':", false, {}},
    // gcc's include chain: notes at each #include, not a file named "In file included from ...".
    {"included_from", "In file included from src/main.c:3:", true, {K::Note, "src/main.c", 3, 0, false}},
    {"included_from_column", "In file included from /a b/main.c:3:10,", true, {K::Note, "/a b/main.c", 3, 10, false}},
    {"included_from_more", "                 from inc/board.h:2,", true, {K::Note, "inc/board.h", 2, 0, false}},
    {"from_in_text", "from here on it builds", false, {}},
    {"errors_word", "src/a.c:3: errors are fine here", true, {K::Note, "src/a.c", 3, 0, false}},
};

// Rows print as their names.
void PrintTo(const CRow& row, std::ostream* out)
{
    *out << row.m_strName;
}

class BuildDiagnosticsParse : public testing::TestWithParam<CRow> {};

TEST_P(BuildDiagnosticsParse, Recognises)
{
    const CRow& row = GetParam();
    std::optional<CDiagnostic> diagnostic = CBuildDiagnostics::Parse(row.m_strLine);
    ASSERT_EQ(diagnostic.has_value(), row.m_bFound) << row.m_strLine;
    if (row.m_bFound) {
        EXPECT_EQ(*diagnostic, row.m_expected) << row.m_strLine;
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, BuildDiagnosticsParse, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<CRow>& info) { return std::string(info.param.m_strName); });

TEST(BuildDiagnostics, PathsResolveAgainstTheFolderUnlessAbsolute)
{
    EXPECT_EQ(CBuildDiagnostics::ResolvePath("src/a.c", "/w/p"), "/w/p/src/a.c");
    EXPECT_EQ(CBuildDiagnostics::ResolvePath("src/a.c", "/w/p/"), "/w/p/src/a.c");
    EXPECT_EQ(CBuildDiagnostics::ResolvePath("/abs/a.c", "/w/p"), "/abs/a.c");
    EXPECT_EQ(CBuildDiagnostics::ResolvePath("C:\\s\\a.c", "/w/p"), "C:\\s\\a.c");
    EXPECT_EQ(CBuildDiagnostics::ResolvePath("a.c", ""), "a.c");
    bool entering = false;
    EXPECT_EQ(CBuildDiagnostics::DirectoryChange("make[1]: Entering directory '/w/p/sub dir'", entering), "/w/p/sub dir");
    EXPECT_TRUE(entering);
    EXPECT_EQ(CBuildDiagnostics::DirectoryChange("make[1]: Leaving directory '/w/p/sub dir'", entering), "/w/p/sub dir");
    EXPECT_FALSE(entering);
    EXPECT_FALSE(CBuildDiagnostics::DirectoryChange("Entering directory '/x'", entering));
}

TEST(BuildDiagnostics, CountsLinesSplitAcrossRunsAndMakeSummariesOnlyAlone)
{
    CBuildDiagnostics counter;
    const std::string text = "a.c:1:1: error: x\na.c:2:1: warn";
    counter.Feed(text);
    counter.Feed("ing: y\nb.c:3: warning 85: z\nmake: *** [all] Error 1\n");
    counter.Feed(std::string(CBuildDiagnostics::kMaxLine * 2, 'x') + "\nc.c:4:1: error: w");
    counter.Finish();
    EXPECT_EQ(counter.Counts().Errors(), 2);
    EXPECT_EQ(counter.Counts().Warnings(), 2);
    EXPECT_EQ(CBuildDiagnostics::CountText(counter.Counts()), "2 errors, 2 warnings");

    CBuildDiagnostics makeOnly;
    makeOnly.Feed("make: *** No rule to make target 'x'.  Stop.\n");
    EXPECT_EQ(CBuildDiagnostics::CountText(makeOnly.Counts()), "1 error, 0 warnings");
}

TEST(BuildDiagnostics, ResultLineForEveryEnd)
{
    CDiagnosticCounts counts{3, 1, 0};
    EXPECT_EQ(CBuildDiagnostics::ResultLine({true, false, 0, false}, 1.23, {}),
              "Build finished (exit code 0, 1.2 s): 0 errors, 0 warnings");
    EXPECT_EQ(CBuildDiagnostics::ResultLine({true, false, 2, false}, 0.4, counts),
              "Build failed (exit code 2, 0.4 s): 3 errors, 1 warning");
    EXPECT_EQ(CBuildDiagnostics::ResultLine({true, true, SIGSEGV, false}, 0.4, {}),
              "Builder ended by signal 11: 0 errors, 0 warnings");
    EXPECT_EQ(CBuildDiagnostics::ResultLine({true, true, SIGTERM, true}, 0.4, counts),
              "Build stopped: 3 errors, 1 warning");
}
} // namespace
