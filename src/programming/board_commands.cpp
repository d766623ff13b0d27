#include "programming/board_commands.h"

void CBoardCommands::LoadBoardCommands(ISettingsStore& store)
{
    CBoardCommandValues v;
    v.m_bUsePrePostPgmCmd = store.GetProfileFlag("UsePrePostPgmCmd", 1);
    v.m_strProgramCmd = store.GetProfileString("ProgramCmd", board::kDefaultProgramCmd);
    v.m_strCmdAfterProgram = store.GetProfileString("CmdAfterProgram", board::kDefaultRunCmd);
    v.m_bCheckHexFile = store.GetProfileFlag("CheckHexFile", 1);
    Set(v);
}

void CBoardCommands::SaveBoardCommands(ISettingsStore& store) const
{
    const CBoardCommandValues v = Get();
    store.WriteProfileInt("UsePrePostPgmCmd", v.m_bUsePrePostPgmCmd);
    store.WriteProfileString("ProgramCmd", v.m_strProgramCmd);
    store.WriteProfileString("CmdAfterProgram", v.m_strCmdAfterProgram);
    store.WriteProfileInt("CheckHexFile", v.m_bCheckHexFile);
}

CBoardCommandValues CBoardCommands::Get() const
{
    std::lock_guard lock(m_mutex);
    return m_values;
}

void CBoardCommands::Set(const CBoardCommandValues& values)
{
    std::lock_guard lock(m_mutex);
    m_values = values;
}
