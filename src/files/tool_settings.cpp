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
    v.m_strBuilder = store.GetProfileString("Builder", "");
    v.m_bRemoveExtension = store.GetProfileFlag("RemoveExtension", 1);
    v.m_bChangeWorkingDir = store.GetProfileFlag("ChangeWorkingDir", 1);
    v.m_strDebugger = store.GetProfileString("Debugger", "");
    v.m_strEditor = store.GetProfileString("Editor", "");
    v.m_bUseAssocApp = store.GetProfileFlag("UseAssocApp", 1);
    std::string startDir = CurrentDirectory();
    std::lock_guard lock(m_mutex);
    m_values = v;
    m_strStartDir = startDir;
}

void CToolSettings::SaveToolSettings(ISettingsStore& store) const
{
    CToolSettingsValues v = Get();
    store.WriteProfileString("Builder", v.m_strBuilder);
    store.WriteProfileInt("RemoveExtension", v.m_bRemoveExtension);
    store.WriteProfileInt("ChangeWorkingDir", v.m_bChangeWorkingDir);
    store.WriteProfileString("Debugger", v.m_strDebugger);
    store.WriteProfileString("Editor", v.m_strEditor);
    store.WriteProfileInt("UseAssocApp", v.m_bUseAssocApp);
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
