#pragma once
// A fresh folder for one test, removed with everything in it when the object goes.

#include <string>

class CTempDir {
public:
    // Made under base (the system's temporary folder when empty); throws when it cannot be.
    explicit CTempDir(const std::string& base = {});
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::string& Path() const { return m_strPath; }
    // The path of name (which may hold folders) inside the folder.
    std::string Path(const std::string& name) const { return m_strPath + "/" + name; }
    // Writes the bytes as given, making the folders on the way; returns the file's path.
    std::string Write(const std::string& name, const std::string& content, bool executable = false) const;
    // Makes the folder name and those on the way; returns its path.
    std::string Folder(const std::string& name) const;
    // The whole file; empty when it cannot be read.
    std::string Read(const std::string& name) const;
    // True when name exists, also as a dangling link.
    bool Exists(const std::string& name) const;

private:
    std::string m_strPath;
};
