#pragma once
// Test data: a counting byte pattern, and bytes seen as text for readable comparisons.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// n bytes counting up from first (wrapping after 0xFF).
std::vector<std::uint8_t> Bytes(std::size_t n, std::uint8_t first = 0);
std::string Text(const std::vector<std::uint8_t>& bytes);
