#pragma once
// CUnitLog: one record per board per attempt, appended to a file kept across runs: CSV with its
// header once (when the file is empty), or JSON Lines when the name ends in .jsonl, .ndjson or
// .json. Write returns once the record is on the disk (written whole, then synced), so a unit
// is never lost to a crash after it. Any thread: records that arrive while a sync runs go to
// the disk together with the next one (one sync for all of them, not one each).

#include "base/output_file.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>

struct CUnitRecord {
    std::chrono::system_clock::time_point m_tTime;
    std::string m_strStation;
    std::string m_strPort;
    std::optional<std::string> m_strIdentity;
    std::string m_strFile;
    std::string m_strSha256;
    std::optional<std::string> m_strSerial;
    unsigned m_nAttempt = 1;
    std::string m_strResult;
    std::string m_strReason;
    std::uint64_t m_nBytes = 0;
    double m_dSeconds = 0;
};

class CUnitLog {
public:
    // Opens the file for appending (made when missing) and writes the CSV header into an empty
    // one; the system's reason when it cannot.
    std::error_code Open(const std::string& path);
    std::error_code Write(const CUnitRecord& record);
    const std::string& Path() const { return m_strPath; }

    static bool IsJsonLines(const std::string& path);
    // Each ends with its line end.
    static std::string CsvHeader();
    static std::string CsvLine(const CUnitRecord& record);
    static std::string JsonLine(const CUnitRecord& record);
    // "2026-12-08T17:50:01.123Z".
    static std::string UtcTime(std::chrono::system_clock::time_point time);

private:
    std::error_code Append(const std::string& text);

    std::mutex m_mutex;
    std::condition_variable m_synced;
    // Records written to m_strWaiting, and those on the disk, counted from the first.
    std::uint64_t m_nQueued = 0;
    std::uint64_t m_nSynced = 0;
    std::string m_strWaiting;
    bool m_bSyncing = false;
    // The first failure: every record from then on fails too (the run stops at the first).
    std::error_code m_error;
    COutputFile m_file;
    std::string m_strPath;
    bool m_bJson = false;
};
