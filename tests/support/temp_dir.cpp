#include "temp_dir.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

CTempDir::CTempDir(const std::string& base)
{
    std::string pattern = ((base.empty() ? fs::temp_directory_path() : fs::path(base)) / "qxtest.XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a temporary folder from " + pattern);
    m_strPath = pattern;
}

CTempDir::~CTempDir()
{
    std::error_code ignored;
    fs::remove_all(m_strPath, ignored);
}

std::string CTempDir::Write(const std::string& name, const std::string& content, bool executable) const
{
    const std::string path = Path(name);
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
    if (executable)
        ::chmod(path.c_str(), 0755);
    return path;
}

std::string CTempDir::Folder(const std::string& name) const
{
    const std::string path = Path(name);
    fs::create_directories(path);
    return path;
}

std::string CTempDir::Read(const std::string& name) const
{
    std::ifstream in(Path(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool CTempDir::Exists(const std::string& name) const
{
    std::error_code ignored;
    return fs::exists(fs::symlink_status(Path(name), ignored));
}
