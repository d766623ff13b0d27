#pragma once
// CRegularFile: a regular file opened for reading. Folders, FIFOs, devices and the files of the
// kernel's pseudo file systems are refused (their size says nothing about what reading them
// gives, and reading may block or never end); opening never blocks. The one way the file list,
// the download job and Send File read a file. One thread at a time; the object owns the file and
// closes it when it goes. The system calls live in regular_file_posix.cpp.

#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

class CRegularFile {
public:
    CRegularFile() = default;
    ~CRegularFile();
    CRegularFile(const CRegularFile&) = delete;
    CRegularFile& operator=(const CRegularFile&) = delete;

    // The system's error (ENOENT, EACCES, ...), is_a_directory, or NotRegular().
    std::error_code Open(const std::string& path);
    void Close();
    bool IsOpen() const { return m_nHandle >= 0; }
    // The size when it was opened.
    std::uint64_t Size() const { return m_nSize; }

    // Up to size bytes from where the last read ended; 0 at the end or on failure (then error).
    std::size_t Read(void* buffer, std::size_t size, std::error_code& error);
    // The rest of the file, at most Size() bytes; not_enough_memory when it cannot be held.
    std::error_code ReadAll(std::vector<std::uint8_t>& data);

    // "not a regular file": a FIFO, a device or a pseudo file system's file.
    static std::error_code NotRegular();

private:
    std::intptr_t m_nHandle = -1; // the system's handle of the open file
    std::uint64_t m_nSize = 0;
};
