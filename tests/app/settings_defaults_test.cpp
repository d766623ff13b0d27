#include "base/memory_settings_store.h"
#include "files/tool_settings.h"
#include "programming/board_commands.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <optional>

TEST(ToolSettings, EmptyStoreGivesTheDefaults)
{
    CMemorySettingsStore store;
    CToolSettings settings;
    settings.LoadToolSettings(store);
    CBoardCommands commands;
    commands.LoadBoardCommands(store);
    CToolSettingsValues v = settings.Get();
    CBoardCommandValues c = commands.Get();
    EXPECT_EQ(v.m_strBuilder, "");
    EXPECT_EQ(v.m_bRemoveExtension, 1);
    EXPECT_EQ(v.m_bChangeWorkingDir, 1);
    EXPECT_EQ(v.m_strDebugger, "");
    EXPECT_EQ(v.m_strEditor, ""); // the desktop's text editor on this platform
    EXPECT_EQ(v.m_bUseAssocApp, 1);
    EXPECT_EQ(c.m_bUsePrePostPgmCmd, 1);
    EXPECT_EQ(c.m_strProgramCmd, "L");
    EXPECT_EQ(c.m_strCmdAfterProgram, "R");
    EXPECT_EQ(c.m_bCheckHexFile, 1);
    EXPECT_TRUE(store.WriteLog().empty()) << "loading writes nothing";
}

TEST(ToolSettings, SaveWritesAllNineKeysInOrderEvenWhenUnchanged)
{
    CMemorySettingsStore store;
    CToolSettings settings;
    settings.LoadToolSettings(store);
    CBoardCommands commands;
    commands.LoadBoardCommands(store);
    // The tool keys, then the board commands: the order the options dialog writes them in.
    settings.SaveToolSettings(store);
    commands.SaveBoardCommands(store);
    std::vector<std::string> expected = {"Builder", "RemoveExtension", "ChangeWorkingDir", "Debugger", "Editor",
                                         "UseAssocApp", "UsePrePostPgmCmd", "ProgramCmd", "CmdAfterProgram",
                                         "CheckHexFile"};
    EXPECT_EQ(store.WriteLog(), expected);
    auto values = store.Values();
    EXPECT_EQ(std::get<int>(values["RemoveExtension"]), 1) << "flags are integers";
    EXPECT_EQ(std::get<std::string>(values["ProgramCmd"]), "L") << "commands are texts";
}

TEST(ToolSettings, StoredValuesAreReadBackAndAnEmptyCommandStaysEmpty)
{
    CMemorySettingsStore store;
    store.WriteString("ProgramCmd", "");
    store.WriteString("Builder", "/usr/bin/make");
    store.WriteInt("UseAssocApp", 0);
    CToolSettings settings;
    settings.LoadToolSettings(store);
    CBoardCommands commands;
    commands.LoadBoardCommands(store);
    EXPECT_EQ(commands.Get().m_strProgramCmd, "");
    EXPECT_EQ(settings.Get().m_strBuilder, "/usr/bin/make");
    EXPECT_EQ(settings.Get().m_bUseAssocApp, 0);
}

TEST(ToolSettings, StartDirIsTheStartFolderWithSeparatorAndSurvivesChdir)
{
    namespace fs = std::filesystem;
    fs::path old = fs::current_path();
    fs::path tmp = fs::temp_directory_path() / "qx_startdir_test";
    fs::create_directories(tmp);
    fs::current_path(tmp);
    CMemorySettingsStore store;
    CToolSettings settings;
    settings.LoadToolSettings(store);
    fs::current_path("/");
    EXPECT_EQ(settings.StartDir(), fs::canonical(tmp).string() + "/");
    settings.LoadToolSettings(store);
    EXPECT_EQ(settings.StartDir(), "/") << "the root keeps its one separator";
    fs::current_path(old);
}

TEST(ToolSettings, IntegerTextsThatAreNotNumbersReadAsTheKeysDefaults)
{
    struct Case {
        const char* text;
        std::optional<int> value;
    };
    const Case cases[] = {
        {"0", 0}, {"1", 1}, {" 7 ", 7}, {"+2", 2}, {"-3", -3}, {"\t0\r\n", 0},
        {"abc", std::nullopt}, {"", std::nullopt}, {"  ", std::nullopt}, {"12abc", std::nullopt},
        {"1.5", std::nullopt}, {"0x1", std::nullopt}, {"99999999999", std::nullopt}, {"- 1", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseProfileInt(c.text), c.value);
    }
    // Through the stores: a flag that is not a number keeps its default (on), so the download
    // and run commands are still sent; the stored text stays as it was.
    CMemorySettingsStore store;
    store.WriteString("UsePrePostPgmCmd", "abc");
    store.WriteString("RemoveExtension", " 0 ");
    store.WriteString("UseAssocApp", "12abc");
    CBoardCommands commands;
    commands.LoadBoardCommands(store);
    CToolSettings settings;
    settings.LoadToolSettings(store);
    EXPECT_EQ(commands.Get().m_bUsePrePostPgmCmd, 1);
    EXPECT_EQ(settings.Get().m_bRemoveExtension, 0);
    EXPECT_EQ(settings.Get().m_bUseAssocApp, 1);
    EXPECT_EQ(store.ReadString("UsePrePostPgmCmd", ""), "abc");
}

// A flag reads as a person writes it; anything else keeps the default and is said once.
TEST(ToolSettings, FlagsReadAsWordsAndUnreadableValuesAreSaidOnce)
{
    struct Case {
        const char* text;
        int value;
        bool warned;
    };
    const Case cases[] = {
        {"0", 0, false}, {"1", 1, false}, {" 2 ", 2, false}, {"false", 0, false}, {"FALSE", 0, false},
        {"true", 1, false}, {"no", 0, false}, {"Yes", 1, false}, {"off", 0, false}, {"on", 1, false},
        {" no\r\n", 0, false}, {"abc", 1, true}, {"", 1, true}, {"nope", 1, true}, {"0x0", 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.text + "\"");
        CMemorySettingsStore store;
        store.WriteString("CheckHexFile", c.text);
        CBoardCommands commands;
        commands.LoadBoardCommands(store);
        commands.LoadBoardCommands(store);
        EXPECT_EQ(commands.Get().m_bCheckHexFile, c.value);
        const std::vector<std::string> expected = {
            std::string("Settings: CheckHexFile=") + c.text + " is not a valid value; 1 is used."};
        EXPECT_EQ(store.Warnings(), c.warned ? expected : std::vector<std::string>{});
    }
    // Every flag of the tools and board commands, and a number that is no flag.
    CMemorySettingsStore store;
    for (const char* key : {"UsePrePostPgmCmd", "RemoveExtension", "ChangeWorkingDir", "UseAssocApp"})
        store.WriteString(key, "false");
    store.WriteString("FLCWidth0", "wide");
    CBoardCommands commands;
    commands.LoadBoardCommands(store);
    CToolSettings settings;
    settings.LoadToolSettings(store);
    EXPECT_EQ(commands.Get().m_bUsePrePostPgmCmd, 0);
    EXPECT_EQ(settings.Get(), (CToolSettingsValues{"", 0, 0, "", "", 0}));
    EXPECT_EQ(store.ReadInt("FLCWidth0", 90), 90);
    EXPECT_EQ(store.Warnings(), std::vector<std::string>{"Settings: FLCWidth0=wide is not a valid value; 90 is used."});
}
