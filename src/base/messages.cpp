#include "base/messages.h"

#include <map>
#include <mutex>

unsigned RegisterWindowMessage(const std::string& name)
{
    static std::mutex mutex;
    static std::map<std::string, unsigned> table;
    std::lock_guard lock(mutex);
    auto it = table.find(name);
    if (it != table.end())
        return it->second;
    unsigned number = 0xC000 + static_cast<unsigned>(table.size());
    table.emplace(name, number);
    return number;
}
