#pragma once
// Intel HEX text from binary data: records of type 00 with 04 (extended linear address)
// records where the upper address changes, and the 01 end-of-file record. Used to feed the
// board simulator from tests, the benchmark and `qxprog simulate` users. Pure functions.

#include <cstdint>
#include <string>
#include <vector>

// One record line ":LLAAAATT<data>CC" followed by CR LF.
std::string IntelHexRecord(std::uint8_t type, std::uint16_t offset, const std::vector<std::uint8_t>& payload);

// The whole file for data loaded at address. With descending set, the data records come in
// descending address order (a file whose records are not in address order).
std::string EncodeIntelHex(const std::vector<std::uint8_t>& data, std::uint32_t address,
    std::size_t recordBytes = 16, bool descending = false);
