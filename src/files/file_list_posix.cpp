#include "files/file_list.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>

namespace {
std::error_code LastError()
{
    return {errno, std::system_category()};
}

// The file a chain of symbolic links ends at (the path itself when it is no link), so the list
// is written where the link leads and the link stays.
std::error_code FollowLinks(std::string& path)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return {};
        char target[PATH_MAX];
        ssize_t n = readlink(path.c_str(), target, sizeof target);
        if (n < 0)
            return LastError();
        if (static_cast<std::size_t>(n) >= sizeof target)
            return std::make_error_code(std::errc::filename_too_long);
        std::string next(target, static_cast<std::size_t>(n));
        if (next.empty() || next[0] != '/') {
            std::size_t slash = path.find_last_of('/');
            next = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + next;
        }
        path = std::move(next);
    }
    return std::make_error_code(std::errc::too_many_symbolic_link_levels);
}

bool WriteAll(int fd, const std::string& data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}
} // namespace

CFileProbe CFileList::ProbeFile(const std::string& path)
{
    CFileProbe probe;
    struct stat st {};
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        probe.m_bDirectory = stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        return probe;
    }
    if (fstat(fd, &st) == 0) {
        probe.m_bDirectory = S_ISDIR(st.st_mode);
        probe.m_nSize = static_cast<std::int64_t>(st.st_size);
    }
    close(fd);
    return probe;
}

std::error_code WriteListFile(const std::string& listFilePath, const std::vector<std::string>& paths)
{
    std::string target = listFilePath;
    if (std::error_code error = FollowLinks(target))
        return error;
    std::string data;
    for (const std::string& path : paths) {
        data += path;
        data += "\r\n";
    }
    std::string temp = target + ".XXXXXX";
    int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return LastError();
    // The new file gets the old one's permissions (or the usual ones for a first write).
    struct stat st {};
    mode_t mode = stat(target.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
    std::error_code error;
    if (fchmod(fd, mode) != 0 || !WriteAll(fd, data) || fsync(fd) != 0)
        error = LastError();
    if (close(fd) != 0 && !error)
        error = LastError();
    if (!error && rename(temp.c_str(), target.c_str()) != 0)
        error = LastError();
    if (error)
        unlink(temp.c_str());
    return error;
}

