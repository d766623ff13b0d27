// The editor command: %f/%l expansion with hostile file names (each stays one argument, no
// shell), the known editors' own line syntax, and the empty setting.

#include "files/editor_command.h"

#include <gtest/gtest.h>

namespace {
using Args = std::vector<std::string>;

struct CRow {
    const char* m_strName;
    const char* m_strSetting;
    const char* m_strFile;
    int m_nLine;
    Args m_expected;
};

const CRow kRows[] = {
    {"placeholders", "myedit --file=%f --line %l", "/p/a.c", 12, {"myedit", "--file=/p/a.c", "--line", "12"}},
    {"percent_escape", "ed %f:%l %%l", "/p/a.c", 3, {"ed", "/p/a.c:3", "%l"}},
    {"hostile_blanks_quotes", "ed %f", "/p/a \"b\" $(rm -rf ~) `id`;*.c", 1, {"ed", "/p/a \"b\" $(rm -rf ~) `id`;*.c"}},
    {"hostile_percent_in_name", "ed %f +%l", "/p/%l%f.c", 5, {"ed", "/p/%l%f.c", "+5"}},
    {"dash_name", "ed %f", "-rf", 2, {"ed", "./-rf"}},
    {"no_line_placeholder", "ed %f %l", "/p/a.c", 0, {"ed", "/p/a.c", "1"}},
    {"quoted_program", "\"/opt/my editor/ed\" -n %f", "/p/a b.c", 4, {"/opt/my editor/ed", "-n", "/p/a b.c"}},
    {"code", "code", "/p/a:b.c", 7, {"code", "--goto", "/p/a:b.c:7"}},
    {"codium_path", "/usr/bin/codium -n", "/p/a.c", 7, {"/usr/bin/codium", "-n", "--goto", "/p/a.c:7"}},
    {"gedit", "gedit", "/p/a.c", 9, {"gedit", "+9", "/p/a.c"}},
    {"kate", "kate", "/p/a.c", 9, {"kate", "--line", "9", "/p/a.c"}},
    {"mousepad", "mousepad", "/p/a.c", 9, {"mousepad", "--line", "9", "/p/a.c"}},
    {"geany", "geany", "/p/a.c", 9, {"geany", "--line=9", "/p/a.c"}},
    {"emacs", "emacs", "/p/a.c", 9, {"emacs", "+9", "/p/a.c"}},
    {"vim", "vim", "+x", 9, {"vim", "+9", "./+x"}},
    {"gvim", "gvim -f", "/p/a.c", 9, {"gvim", "-f", "+9", "/p/a.c"}},
    {"nano", "nano", "/p/a.c", 9, {"nano", "+9", "/p/a.c"}},
    {"known_without_line", "gedit", "/p/a.c", 0, {"gedit", "/p/a.c"}},
    {"unknown", "myedit -x", "/p/a.c", 9, {"myedit", "-x", "/p/a.c"}},
    {"empty", "", "/p/a.c", 9, {}},
};

// Rows print as their names.
void PrintTo(const CRow& row, std::ostream* out)
{
    *out << row.m_strName;
}

class EditorCommandMake : public testing::TestWithParam<CRow> {};

TEST_P(EditorCommandMake, Arguments)
{
    const CRow& row = GetParam();
    EXPECT_EQ(CEditorCommand::Make(row.m_strSetting, row.m_strFile, row.m_nLine), row.m_expected);
}

INSTANTIATE_TEST_SUITE_P(Editors, EditorCommandMake, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<CRow>& info) { return std::string(info.param.m_strName); });
} // namespace
