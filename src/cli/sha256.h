#pragma once
// CSha256: the SHA-256 digest of a byte string, for naming the file a run sent (--json).
// Pure: no I/O, any thread; one object per digest. Feed Add in pieces, then HexDigest once.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class CSha256 {
public:
    CSha256();
    void Add(std::string_view bytes);
    // The digest as 64 lowercase hex digits; the object is used up afterwards.
    std::string HexDigest();
    static std::string Of(std::string_view bytes);

private:
    void Block(const std::uint8_t* block);

    std::array<std::uint32_t, 8> m_state;
    std::array<std::uint8_t, 64> m_buffer{};
    std::size_t m_nBuffered = 0;
    std::uint64_t m_nLength = 0;
};
