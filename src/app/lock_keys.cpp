#include "app/lock_keys.h"

#include <filesystem>
#include <fstream>

namespace {
bool EndsWith(const std::string& name, const std::string& suffix)
{
    return name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool LedLit(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    char first = 0;
    return in.get(first) && first != '0';
}
} // namespace

CLockKeys ReadLockKeys(const std::string& ledRoot)
{
    CLockKeys keys;
    std::error_code error;
    for (std::filesystem::directory_iterator it(ledRoot, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        bool* target = nullptr;
        if (EndsWith(name, "::capslock"))
            target = &keys.m_bCaps;
        else if (EndsWith(name, "::numlock"))
            target = &keys.m_bNum;
        else if (EndsWith(name, "::scrolllock"))
            target = &keys.m_bScroll;
        if (target && !*target)
            *target = LedLit(it->path() / "brightness");
    }
    return keys;
}
