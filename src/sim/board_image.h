#pragma once
// CBoardImage: the memory a simulated board received, kept sparse in pages. Not thread-safe:
// the simulator's thread fills it and hands out copies under its own lock.

#include <cstdint>
#include <map>
#include <string>
#include <system_error>
#include <vector>

class CBoardImage {
public:
    void Clear() { m_pages.clear(); }
    bool Empty() const { return m_pages.empty(); }
    void Write(std::uint32_t address, std::uint8_t value);
    // False when nothing was written at the address.
    bool Read(std::uint32_t address, std::uint8_t& value) const;
    // The bytes from the lowest to the highest address written, gaps filled with 0xFF.
    std::vector<std::uint8_t> Flatten() const;
    std::uint32_t LowestAddress() const;
    // Writes Flatten() to the file (through a temporary file renamed over it).
    std::error_code WriteBinary(const std::string& path) const;

private:
    static constexpr std::uint32_t kPageSize = 4096;
    struct Page {
        std::vector<std::uint8_t> data = std::vector<std::uint8_t>(kPageSize, 0xFF);
        std::vector<bool> used = std::vector<bool>(kPageSize, false);
    };
    std::map<std::uint32_t, Page> m_pages;
};
