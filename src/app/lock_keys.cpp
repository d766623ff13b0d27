#include "app/lock_keys.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

namespace {
bool EndsWith(const char* name, const char* suffix)
{
    std::size_t n = std::strlen(name), s = std::strlen(suffix);
    return n >= s && std::strcmp(name + n - s, suffix) == 0;
}

bool LedLit(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buf[16] = {};
    ssize_t n = ::read(fd, buf, sizeof buf - 1);
    ::close(fd);
    return n > 0 && buf[0] != '0';
}
} // namespace

CLockKeys ReadLockKeys(const std::string& ledRoot)
{
    CLockKeys keys;
    DIR* dir = ::opendir(ledRoot.c_str());
    if (!dir)
        return keys;
    while (dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        bool* target = nullptr;
        if (EndsWith(name, "::capslock"))
            target = &keys.m_bCaps;
        else if (EndsWith(name, "::numlock"))
            target = &keys.m_bNum;
        else if (EndsWith(name, "::scrolllock"))
            target = &keys.m_bScroll;
        if (target && !*target)
            *target = LedLit(ledRoot + "/" + name + "/brightness");
    }
    ::closedir(dir);
    return keys;
}
