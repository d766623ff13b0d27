#include "programming/board_commands.h"

void CBoardCommands::LoadBoardCommands(ISettingsStore& store)
{
    CBoardCommandValues v;
    v.m_bUsePrePostPgmCmd = store.ReadFlag("UsePrePostPgmCmd", 1);
    v.m_strProgramCmd = store.ReadString("ProgramCmd", board::kDefaultProgramCmd);
    v.m_strCmdAfterProgram = store.ReadString("CmdAfterProgram", board::kDefaultRunCmd);
    v.m_bCheckHexFile = store.ReadFlag("CheckHexFile", 1);
    Set(v);
}

void CBoardCommands::SaveBoardCommands(ISettingsStore& store) const
{
    const CBoardCommandValues v = Get();
    store.WriteInt("UsePrePostPgmCmd", v.m_bUsePrePostPgmCmd);
    store.WriteString("ProgramCmd", v.m_strProgramCmd);
    store.WriteString("CmdAfterProgram", v.m_strCmdAfterProgram);
    store.WriteInt("CheckHexFile", v.m_bCheckHexFile);
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
