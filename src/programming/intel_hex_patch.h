#pragma once
// CIntelHexPatch: puts bytes at an address of an Intel HEX file by rewriting the data records
// that hold it (their checksums made right again, the case of their hex digits kept); every
// other byte of the file stays as it was. Addresses follow the extended address records (02 and
// 04) as the checker and the board read them. Pure: no I/O, any thread.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CIntelHexPatch {
public:
    // True with the patched file in patched when the file's data records hold every address from
    // address on for bytes.size() bytes (a record writing an address twice gets it both times);
    // otherwise false with the first address they do not hold in missing.
    static bool Apply(std::string_view content, std::uint32_t address, const std::vector<std::uint8_t>& bytes,
        std::string& patched, std::uint32_t& missing);
};
