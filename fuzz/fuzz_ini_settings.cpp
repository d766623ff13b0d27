// The command line's reader of the window program's settings file: any file reads without a
// crash, the same every time, and each value or key text unescapes without a crash. The file
// lives in a scratch folder (in memory where /dev/shm is there) that is removed at exit.

#include "cli/ini_settings_file.h"
#include "fuzz_check.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {
std::string g_strFolder;
std::string g_strFile;

void RemoveScratch()
{
    ::unlink(g_strFile.c_str());
    ::rmdir(g_strFolder.c_str());
}

const std::string& SettingsFile()
{
    if (g_strFile.empty()) {
        std::string base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string folder = base + "/qx_fuzz_ini.XXXXXX";
        FUZZ_CHECK(::mkdtemp(folder.data()) != nullptr);
        g_strFolder = folder;
        g_strFile = folder + "/Quillorex Programmer.conf";
        std::atexit(RemoveScratch);
    }
    return g_strFile;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    CIniSettingsFile::UnescapeValue(text);
    CIniSettingsFile::UnescapeKey(text);

    const std::string& path = SettingsFile();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(file != nullptr);
    FUZZ_CHECK(std::fwrite(data, 1, size, file) == size);
    FUZZ_CHECK(std::fclose(file) == 0);

    CIniSettingsFile ini;
    FUZZ_CHECK(ini.Load(path));
    const auto settings = ini.Group("Settings");
    CIniSettingsFile again;
    FUZZ_CHECK(again.Load(path));
    FUZZ_CHECK(again.Group("Settings") == settings);
    CMemorySettingsStore store;
    ini.CopyGroup("Settings", store);
    for (const auto& [key, value] : settings)
        FUZZ_CHECK(store.ReadString(key, "\x01") == value);
    return 0;
}
