#pragma once
// COutputFile: a file written from its start (made when missing, emptied when present), or
// appended to. The terminal log, the simulator's board image, the unit log and the serial-number
// file write through it. One thread at a time; the
// object owns the file and closes it when it goes (Close reports what that close found). The
// system calls live in output_file_posix.cpp.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

class COutputFile {
public:
    COutputFile() = default;
    ~COutputFile();
    COutputFile(const COutputFile&) = delete;
    COutputFile& operator=(const COutputFile&) = delete;

    // permissions: for a new file, before the user's mask takes its part.
    std::error_code Create(const std::string& path,
        std::filesystem::perms permissions = std::filesystem::perms::owner_read | std::filesystem::perms::owner_write
            | std::filesystem::perms::group_read | std::filesystem::perms::group_write
            | std::filesystem::perms::others_read | std::filesystem::perms::others_write);
    // Opens the file for writes at its end: made when missing, kept as it is when present.
    std::error_code Append(const std::string& path,
        std::filesystem::perms permissions = std::filesystem::perms::owner_read | std::filesystem::perms::owner_write
            | std::filesystem::perms::group_read | std::filesystem::perms::group_write
            | std::filesystem::perms::others_read | std::filesystem::perms::others_write);
    bool IsOpen() const { return m_nHandle >= 0; }
    // The open file's size now (0 for what is not a regular file).
    std::error_code Size(std::uint64_t& size) const;
    // Returns once what was written is on the disk (fsync): it survives a crash or power loss.
    std::error_code Sync();
    // One write of up to size bytes (an interrupted one is repeated); what was written, 0 with
    // error on a failure (a write that takes nothing is an I/O error).
    std::size_t WriteSome(const void* data, std::size_t size, std::error_code& error);
    // All of data, in as many writes as the system needs.
    std::error_code WriteAll(const void* data, std::size_t size);
    // Closes the file; the file system may report a failed write only now.
    std::error_code Close();

private:
    std::error_code OpenWith(const std::string& path, int flags, std::filesystem::perms permissions);

    std::intptr_t m_nHandle = -1; // the system's handle of the open file
};
