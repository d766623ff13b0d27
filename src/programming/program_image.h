#pragma once
// CProgramImage: a file's bytes as they go to the board, read and checked once. Made by Load on
// any thread and never changed afterwards, it is shared (as a pointer to const) by every board
// that gets it, so each job sends exactly the bytes that were checked and described.

#include "programming/download_job.h"

#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

class CProgramImage {
public:
    // Reads the whole file and, with check on, checks an Intel HEX file. Completed, or how it
    // failed: FileOpenFailed / OutOfMemory with the system's code, FileEmpty, BadHexFile with
    // the fault ("line 17: checksum 3C, the record needs 3B").
    static EDownloadResult Load(const std::string& path, bool check, CProgramImage& image, std::error_code& code,
        std::string& fault);

    // The same file with other data (a serial number's records rewritten): name, kind and range
    // stay.
    CProgramImage WithData(std::vector<std::uint8_t> data) const;

    std::string m_strPath;
    std::vector<std::uint8_t> m_data;
    // Taken as Intel HEX (by its name or its first byte).
    bool m_bHex = false;
    // Checked as Intel HEX: the addresses its data goes to.
    bool m_bHasRange = false;
    std::uint32_t m_nLow = 0;
    std::uint32_t m_nHigh = 0;
};
