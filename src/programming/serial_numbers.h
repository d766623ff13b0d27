#pragma once
// CSerialNumbers: the number each board gets, the bytes it becomes at its address in the image,
// and the file that keeps the next one between runs. Parse, Bytes, Text and Patch are pure; Open,
// Take and Give read and write the counter file (through a temporary file, synced, renamed over
// it) and may be called from any thread (one lock). A number is written to the file as used
// before its board gets it, so a run that ends at any moment (a crash, power lost) never gives
// one number to two boards; a failed board's number comes back for the next board unless
// numbers are skipped on failure.

#include "programming/program_image.h"

#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <vector>

class CSerialNumbers {
public:
    enum class EFormat { Le16, Le32, Be16, Be32, Ascii };

    // "ADDR:FORMAT:START[:STEP]": ADDR and START in decimal or 0x hex, FORMAT le16, le32, be16,
    // be32 or ascii:W (decimal, zero-padded to W digits, 1 to 20), STEP from 1 (default 1).
    // False with why.
    bool Parse(const std::string& option, std::string& why);
    // The file that keeps the next number; empty: numbers start at START in every run.
    void SetCounterFile(std::string path) { m_strFile = std::move(path); }
    void SetSkipOnFailure(bool skip) { m_bSkipOnFailure = skip; }

    // Reads the next number from the counter file, made with START when missing. False with why
    // (naming the file): it cannot be read or written, or does not hold a number.
    bool Open(std::string& why);

    // The number as the format stores it; false when it does not fit (le16 above 65535, more
    // digits than W).
    bool Bytes(std::uint64_t number, std::vector<std::uint8_t>& bytes) const;
    // Decimal, zero-padded to W digits for ascii:W.
    std::string Text(std::uint64_t number) const;
    // The image with the number's bytes at the address; false with why when it is no Intel HEX
    // file or its data records do not hold every address of them (the first missing one named).
    bool Patch(const CProgramImage& image, std::uint64_t number, CProgramImage& patched, std::string& why) const;

    // The next board's number, written to the counter file as used before it returns. False
    // with why when the file cannot be written or the number does not fit the format.
    bool Take(std::uint64_t& number, std::string& why);
    // After a board's last attempt: a completed board's number is used up; a failed one's is
    // taken again by the next board unless skipping. Writes the counter file; false with why.
    bool Give(std::uint64_t number, bool completed, std::string& why);
    // The number the next board gets.
    std::uint64_t Next() const;

    std::uint32_t Address() const { return m_nAddress; }
    std::size_t Width() const;
    const std::string& CounterFile() const { return m_strFile; }

private:
    bool Save(std::uint64_t next, std::string& why);

    std::uint32_t m_nAddress = 0;
    EFormat m_eFormat = EFormat::Le32;
    unsigned m_nDigits = 0;
    std::uint64_t m_nStart = 0;
    std::uint64_t m_nStep = 1;
    std::string m_strFile;
    bool m_bSkipOnFailure = false;

    mutable std::mutex m_mutex;
    std::uint64_t m_nNext = 0;      // guarded by m_mutex
    std::set<std::uint64_t> m_free; // failed boards' numbers, guarded by m_mutex
};
