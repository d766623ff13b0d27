#pragma once
// A real folder tree under /tmp, removed again at the end. Only the browser benchmark uses it
// (through qx_test_support); the tests take CTempDir beside it.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

class CTempTree {
public:
    explicit CTempTree(const char* base = "/tmp")
    {
        std::string templ = std::string(base) + "/qxbrowserXXXXXX";
        if (::mkdtemp(templ.data()) != nullptr)
            m_root = templ;
    }
    ~CTempTree()
    {
        std::error_code ignored;
        if (!m_root.empty())
            std::filesystem::remove_all(m_root, ignored);
    }
    CTempTree(const CTempTree&) = delete;
    CTempTree& operator=(const CTempTree&) = delete;

    const std::string& Root() const { return m_root; }
    std::string Path(const std::string& relative) const { return m_root + "/" + relative; }
    void Folder(const std::string& relative) const { std::filesystem::create_directories(Path(relative)); }
    void File(const std::string& relative, const std::string& content = "x") const
    {
        std::ofstream(Path(relative), std::ios::binary) << content;
    }
    bool Exists(const std::string& relative) const
    {
        std::error_code ignored;
        return std::filesystem::exists(std::filesystem::symlink_status(Path(relative), ignored));
    }
    std::string Read(const std::string& relative) const
    {
        std::ifstream in(Path(relative), std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

private:
    std::string m_root;
};
