#include "bytes.h"

#include <numeric>

std::vector<std::uint8_t> Bytes(std::size_t n, std::uint8_t first)
{
    std::vector<std::uint8_t> data(n);
    std::iota(data.begin(), data.end(), first);
    return data;
}

std::string Text(const std::vector<std::uint8_t>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}
