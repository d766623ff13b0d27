// The command-line rules as tables: splitting with the Windows quoting rules, the quoting rule,
// extension removal and the Build command built from settings and a row.

#include "files/command_line.h"
#include "files/tool_commands.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace {
using Args = std::vector<std::string>;

struct SplitRow {
    const char* m_name;
    const char* m_line;
    Args m_args;
};

const SplitRow kSplitRows[] = {
    {"empty", "", {}},
    {"only_blanks", "  \t ", {}},
    {"program_only", "make", {"make"}},
    {"leading_blanks", "   make  all", {"make", "all"}},
    {"tabs_separate", "cc\t-c\ta.c", {"cc", "-c", "a.c"}},
    {"quoted_program_with_blank", "\"/opt/my tools/asm\" a.hex", {"/opt/my tools/asm", "a.hex"}},
    {"program_backslashes_literal", "C:\\Tools\\asm.exe x", {"C:\\Tools\\asm.exe", "x"}},
    {"program_quote_inside", "/opt/\"my tools\"/asm x", {"/opt/my tools/asm", "x"}},
    {"quoted_argument", "asm \"/home/u/My Work/a\"", {"asm", "/home/u/My Work/a"}},
    {"quote_inside_argument", "asm -o\"a b\".hex", {"asm", "-oa b.hex"}},
    {"empty_quoted_argument", "asm \"\" x", {"asm", "", "x"}},
    {"backslashes_alone_literal", "asm a\\\\b\\c", {"asm", "a\\\\b\\c"}},
    {"one_backslash_quote_is_literal_quote", "asm a\\\"b", {"asm", "a\"b"}},
    {"two_backslashes_quote_groups", "asm \"a\\\\\" b", {"asm", "a\\", "b"}},
    {"three_backslashes_quote", "asm a\\\\\\\"b", {"asm", "a\\\"b"}},
    {"doubled_quote_inside_quotes", "asm \"a\"\"b\"", {"asm", "a\"b"}},
    {"unterminated_quote_runs_to_end", "asm \"a b", {"asm", "a b"}},
    {"shell_characters_are_plain", "asm $(touch x);rm `y` | z > w", {"asm", "$(touch", "x);rm", "`y`", "|", "z", ">", "w"}},
    {"trailing_blanks", "asm a   ", {"asm", "a"}},
};

class SplitCommandLineTest : public testing::TestWithParam<SplitRow> {};

TEST_P(SplitCommandLineTest, Splits)
{
    EXPECT_EQ(SplitCommandLine(GetParam().m_line), GetParam().m_args) << "line: " << GetParam().m_line;
}

INSTANTIATE_TEST_SUITE_P(Rows, SplitCommandLineTest, testing::ValuesIn(kSplitRows),
                         [](const auto& info) { return std::string(info.param.m_name); });

TEST(QuoteIfBlank, WrapsOnlyTextsWithABlank)
{
    struct Row {
        const char* m_in;
        const char* m_out;
    } rows[] = {
        {"", ""},
        {"asm", "asm"},
        {"/opt/my tools/asm", "\"/opt/my tools/asm\""},
        {"a\tb", "\"a\tb\""}, // a tab separates arguments too
        {"a\"b c", "\"a\"b c\""}, // nothing is escaped
    };
    for (const Row& row : rows)
        EXPECT_EQ(QuoteIfBlank(row.m_in), row.m_out) << row.m_in;
}

// Quote, join with blanks, split: the same arguments (the first is the program). Rows the
// fuzzer found come first.
TEST(QuoteIfBlank, QuotedArgumentsSplitBack)
{
    const Args rows[] = {
        {"\t"},
        {"\t", "\x01", "\x01"},
        {"my\ttool", "-o", "a\tb.hex"},
        {"/opt/my tools/asm", "/home/u/My Work/a b.hex", "x"},
        {"C:\\my tools\\", "a\\b", "c\\"},
        {" lead", "trail ", "\t"},
    };
    for (const Args& args : rows) {
        std::string line;
        for (const std::string& arg : args)
            line += (line.empty() ? "" : " ") + QuoteIfBlank(arg);
        EXPECT_EQ(SplitCommandLine(line), args) << line;
    }
}

TEST(ShellQuote, QuotesOnlyWhereNeededAndNeverPrintsAControlCharacter)
{
    struct Row {
        std::string m_in;
        std::string m_out;
    } rows[] = {
        {"", "''"},
        {"/work/a-1_b.hex", "/work/a-1_b.hex"},
        {"a b", "'a b'"},
        {"$(id).hex", "'$(id).hex'"},
        {"it's", "'it'\\''s'"},
        {"'", "\\'"},
        {"a\nb", "'a'$'\\n''b'"},
        {"\x01`x`", "$'\\001''`x`'"},
        {"tab\t", "'tab'$'\\t'"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ShellQuote(row.m_in), row.m_out) << row.m_in;
}

// What a user pastes into a shell gives back the arguments and runs nothing.
TEST(ShellQuote, APastedLineGivesBackTheArguments)
{
    CTempDir dir;
    const Args args = {"printf", "<%s>", "\"$(touch " + dir.Path("pwned") + ").hex\"", "a\nb", "it's", "x;y|z&`w`", "", "\x1b[31m"};
    const std::string out = dir.Path("out");
    const std::string script = ShellQuoteArgs(args) + " > " + ShellQuote(out);
    ASSERT_EQ(std::system(("bash -c " + ShellQuote(script)).c_str()), 0) << script;
    std::string expected;
    for (std::size_t i = 2; i < args.size(); ++i)
        expected += "<" + args[i] + ">";
    std::ifstream in(out);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), expected);
    EXPECT_EQ(::access(dir.Path("pwned").c_str(), F_OK), -1);
    EXPECT_EQ(ShellQuoteArgs(args).find('\n'), std::string::npos);
}

TEST(PathRemoveExtension, ActsOnTheFileNameOnly)
{
    struct Row {
        const char* m_in;
        const char* m_out;
    } rows[] = {
        {"/work/a.hex", "/work/a"},
        {"/work/a.b.hex", "/work/a.b"},
        {"/work/a", "/work/a"},
        {"/my.dir/a", "/my.dir/a"},
        {"/my.dir/a.bin", "/my.dir/a"},
        {"a.obj", "a"},
        {"/work/a.", "/work/a"},
        {"/work/.hex", "/work/"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(PathRemoveExtension(row.m_in), row.m_out) << row.m_in;
}

struct BuildRow {
    const char* m_name;
    const char* m_builder;
    int m_bRemoveExtension;
    int m_bChangeWorkingDir;
    const char* m_folder;
    const char* m_file;
    const char* m_commandLine;
    Args m_args;
    const char* m_workingDir;
};

const BuildRow kBuildRows[] = {
    {"both_options_blank_folder", "/tools/asm", 1, 1, "/home/u/My Work", "a.hex",
     "/tools/asm \"/home/u/My Work/a\"", {"/tools/asm", "/home/u/My Work/a"}, "/home/u/My Work"},
    {"tool_with_blank_quoted_target_plain", "/opt/Program Files/asm", 1, 0, "/work", "a.hex",
     "\"/opt/Program Files/asm\" /work/a", {"/opt/Program Files/asm", "/work/a"}, ""},
    {"extension_kept", "asm", 0, 1, "/home/u/My Work", "a.hex",
     "asm \"/home/u/My Work/a.hex\"", {"asm", "/home/u/My Work/a.hex"}, "/home/u/My Work"},
    {"root_folder", "asm", 0, 1, "/", "boot.bin", "asm /boot.bin", {"asm", "/boot.bin"}, "/"},
    // A builder setting with a blank names one program, as its quoting says.
    {"builder_with_blank_is_one_program", "make -C", 1, 0, "/w", "x.hex", "\"make -C\" /w/x", {"make -C", "/w/x"}, ""},
    {"hostile_name_one_argument", "asm", 0, 0, "/tmp/a b", "$(touch pwned).hex",
     "asm \"/tmp/a b/$(touch pwned).hex\"", {"asm", "/tmp/a b/$(touch pwned).hex"}, ""},
    {"builder_with_tab_is_one_program", "my\ttool", 0, 0, "/w", "x.hex", "\"my\ttool\" /w/x.hex", {"my\ttool", "/w/x.hex"}, ""},
    {"no_builder_runs_nothing", "", 0, 0, "/w", "a.hex", " /w/a.hex", {}, ""},
    {"quote_in_name_one_argument", "asm", 0, 0, "/w", "a\"b c\\.hex",
     "asm \"/w/a\"b c\\.hex\"", {"asm", "/w/a\"b c\\.hex"}, ""},
};

class BuildCommandTest : public testing::TestWithParam<BuildRow> {};

TEST_P(BuildCommandTest, FormsTheCommand)
{
    const BuildRow& row = GetParam();
    CToolSettingsValues settings;
    settings.m_strBuilder = row.m_builder;
    settings.m_bRemoveExtension = row.m_bRemoveExtension;
    settings.m_bChangeWorkingDir = row.m_bChangeWorkingDir;
    CBuildCommand command = MakeBuildCommand(settings, CFileEntry{row.m_file, row.m_folder, std::nullopt});
    EXPECT_EQ(command.m_strCommandLine, row.m_commandLine);
    EXPECT_EQ(command.m_args, row.m_args);
    EXPECT_EQ(command.m_strWorkingDir, row.m_workingDir);
}

INSTANTIATE_TEST_SUITE_P(Rows, BuildCommandTest, testing::ValuesIn(kBuildRows),
                         [](const auto& info) { return std::string(info.param.m_name); });

TEST(ToolArguments, AnExistingPathWithBlanksIsOneProgram)
{
    CTempDir dir;
    std::string tool = dir.Write("my debugger", "#!/bin/sh\n", true);
    EXPECT_EQ(ToolArguments(tool), Args{tool});
    EXPECT_EQ(MakeToolLaunch(tool, "/w/a b.hex"), (Args{tool, "/w/a b.hex"}));
    EXPECT_EQ(MakeToolLaunch("gdb -q", "/w/a b.hex"), (Args{"gdb", "-q", "/w/a b.hex"}));
    EXPECT_EQ(MakeToolLaunch("\"" + tool + "\" -q", "/w/a"), (Args{tool, "-q", "/w/a"}));
    EXPECT_TRUE(MakeToolLaunch("", "/w/a").empty());
}
} // namespace
