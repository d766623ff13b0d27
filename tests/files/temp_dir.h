#pragma once
// A temporary folder for one test, removed with everything in it at the end.

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

class CTempDir {
public:
    CTempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "qxfiles.XXXXXX").string();
        if (char* made = mkdtemp(pattern.data()))
            m_strPath = made;
    }
    ~CTempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_strPath, ec);
    }
    const std::string& Path() const { return m_strPath; }
    std::string operator/(const std::string& name) const { return m_strPath + "/" + name; }

    // Writes a file (bytes as given); executable makes it a runnable script.
    std::string Write(const std::string& name, const std::string& bytes, bool executable = false) const
    {
        std::string path = *this / name;
        std::ofstream(path, std::ios::binary) << bytes;
        if (executable)
            chmod(path.c_str(), 0755);
        return path;
    }

private:
    std::string m_strPath;
};

inline std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
