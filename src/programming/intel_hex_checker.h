#pragma once
// CIntelHexChecker: checks an Intel HEX file in memory before a byte of it is sent, so a bad
// file is named with its line and fault at once instead of being rejected by the board minutes
// into a slow download. Pure: no I/O, no clock, any thread; one object per check. While it checks
// it keeps a bit and a byte per address written (to find two records writing the same address),
// in pages of 256 addresses: about the size of the image for a dense file.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class CIntelHexChecker {
public:
    // Whether a file is taken as Intel HEX: named *.hex or *.ihx (any case), or its first byte
    // that is not blank is ':'.
    static bool IsIntelHex(std::string_view path, std::string_view content);

    // Checks the whole file: record syntax (upper or lower case hex, CR LF or LF line ends),
    // each checksum, record types 00-05 with their lengths, extended addresses (02, 04),
    // exactly one end record with nothing but blank lines after it, and no address written
    // twice with different data. True when the file is valid; otherwise Fault() says why.
    bool Check(std::string_view content);

    // "line 17: checksum 3C, the record needs 3B"; empty when the file was valid.
    const std::string& Fault() const { return m_strFault; }
    // 1-based line of the fault; 0 when the file was valid.
    std::size_t FaultLine() const { return m_nFaultLine; }

    // Of a valid file: the data bytes and the lowest and highest address they go to.
    std::uint64_t DataBytes() const { return m_nDataBytes; }
    std::uint32_t LowAddress() const { return m_nLow; }
    std::uint32_t HighAddress() const { return m_nHigh; }

private:
    bool Fail(std::size_t line, const std::string& text);

    std::string m_strFault;
    std::size_t m_nFaultLine = 0;
    std::uint64_t m_nDataBytes = 0;
    std::uint32_t m_nLow = 0;
    std::uint32_t m_nHigh = 0;
};
