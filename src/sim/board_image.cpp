#include "sim/board_image.h"

#include "base/output_file.h"

#include <cerrno>
#include <cstdio>

void CBoardImage::Write(std::uint32_t address, std::uint8_t value)
{
    Page& page = m_pages[address / kPageSize];
    page.data[address % kPageSize] = value;
    page.used[address % kPageSize] = true;
}

bool CBoardImage::Read(std::uint32_t address, std::uint8_t& value) const
{
    const auto it = m_pages.find(address / kPageSize);
    if (it == m_pages.end() || !it->second.used[address % kPageSize])
        return false;
    value = it->second.data[address % kPageSize];
    return true;
}

std::uint32_t CBoardImage::LowestAddress() const
{
    if (m_pages.empty())
        return 0;
    const auto& [index, page] = *m_pages.begin();
    for (std::uint32_t i = 0; i < kPageSize; ++i)
        if (page.used[i])
            return index * kPageSize + i;
    return index * kPageSize;
}

std::vector<std::uint8_t> CBoardImage::Flatten() const
{
    std::vector<std::uint8_t> out;
    if (m_pages.empty())
        return out;
    const std::uint64_t low = LowestAddress();
    const auto& [lastIndex, lastPage] = *m_pages.rbegin();
    std::uint64_t high = static_cast<std::uint64_t>(lastIndex) * kPageSize;
    for (std::uint32_t i = 0; i < kPageSize; ++i)
        if (lastPage.used[i])
            high = static_cast<std::uint64_t>(lastIndex) * kPageSize + i;
    out.assign(high - low + 1, 0xFF);
    for (const auto& [index, page] : m_pages) {
        const std::uint64_t base = static_cast<std::uint64_t>(index) * kPageSize;
        for (std::uint32_t i = 0; i < kPageSize; ++i)
            if (page.used[i])
                out[base + i - low] = page.data[i];
    }
    return out;
}

std::error_code CBoardImage::WriteBinary(const std::string& path) const
{
    const std::vector<std::uint8_t> bytes = Flatten();
    const std::string temp = path + ".tmp";
    using std::filesystem::perms;
    COutputFile file;
    if (std::error_code code = file.Create(temp, perms::owner_read | perms::owner_write | perms::group_read | perms::others_read))
        return code;
    std::error_code code = file.WriteAll(bytes.data(), bytes.size());
    if (!code)
        code = file.Close();
    if (!code && std::rename(temp.c_str(), path.c_str()) != 0)
        code = std::error_code(errno, std::system_category());
    if (code) {
        file.Close();
        std::remove(temp.c_str());
    }
    return code;
}
