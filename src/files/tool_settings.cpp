#include "files/tool_settings.h"

#include <filesystem>

namespace {
std::string CurrentDirectory()
{
    std::error_code error;
    std::string dir = std::filesystem::current_path(error).string();
    if (error)
        return "/";
    if (dir.empty() || dir.back() != '/')
        dir += '/';
    return dir;
}
} // namespace

void CToolSettings::LoadToolSettings(ISettingsStore& store)
{
    CToolSettingsValues v;
    v.m_strBuilder = store.ReadString("Builder", "");
    v.m_bRemoveExtension = store.ReadFlag("RemoveExtension", 1);
    v.m_bChangeWorkingDir = store.ReadFlag("ChangeWorkingDir", 1);
    v.m_strDebugger = store.ReadString("Debugger", "");
    v.m_strEditor = store.ReadString("Editor", "");
    v.m_bUseAssocApp = store.ReadFlag("UseAssocApp", 1);
    std::string startDir = CurrentDirectory();
    std::lock_guard lock(m_mutex);
    m_values = v;
    m_strStartDir = startDir;
}

void CToolSettings::SaveToolSettings(ISettingsStore& store) const
{
    CToolSettingsValues v = Get();
    store.WriteString("Builder", v.m_strBuilder);
    store.WriteInt("RemoveExtension", v.m_bRemoveExtension);
    store.WriteInt("ChangeWorkingDir", v.m_bChangeWorkingDir);
    store.WriteString("Debugger", v.m_strDebugger);
    store.WriteString("Editor", v.m_strEditor);
    store.WriteInt("UseAssocApp", v.m_bUseAssocApp);
}

CToolSettingsValues CToolSettings::Get() const
{
    std::lock_guard lock(m_mutex);
    return m_values;
}

void CToolSettings::Set(const CToolSettingsValues& values)
{
    std::lock_guard lock(m_mutex);
    m_values = values;
}

std::string CToolSettings::StartDir() const
{
    std::lock_guard lock(m_mutex);
    return m_strStartDir;
}

void CToolSettings::SetStartDir(const std::string& dir)
{
    std::lock_guard lock(m_mutex);
    m_strStartDir = dir;
}
