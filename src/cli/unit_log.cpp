#include "cli/unit_log.h"

#include "base/text_codec.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>

namespace {
bool EndsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// RFC 4180: a field with a comma, a quote or a line end is quoted, its quotes doubled.
std::string CsvField(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}


std::string Seconds(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}
} // namespace

bool CUnitLog::IsJsonLines(const std::string& path)
{
    return EndsWith(path, ".jsonl") || EndsWith(path, ".ndjson") || EndsWith(path, ".json");
}

std::string CUnitLog::UtcTime(std::chrono::system_clock::time_point time)
{
    using namespace std::chrono;
    const auto ms = floor<milliseconds>(time);
    const auto day = floor<days>(ms);
    const year_month_day date(day);
    const hh_mm_ss clock(ms - day);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
        static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()), static_cast<int>(clock.hours().count()),
        static_cast<int>(clock.minutes().count()), static_cast<int>(clock.seconds().count()),
        static_cast<int>(clock.subseconds().count()));
    return text;
}

std::string CUnitLog::CsvHeader()
{
    return "time,station,port,identity,file,sha256,serial,attempt,result,reason,bytes,seconds\n";
}

std::string CUnitLog::CsvLine(const CUnitRecord& r)
{
    return UtcTime(r.m_tTime) + "," + CsvField(r.m_strStation) + "," + CsvField(r.m_strPort) + ","
        + CsvField(r.m_strIdentity.value_or("")) + "," + CsvField(r.m_strFile) + "," + r.m_strSha256 + ","
        + CsvField(r.m_strSerial.value_or("")) + "," + std::to_string(r.m_nAttempt) + "," + CsvField(r.m_strResult)
        + "," + CsvField(r.m_strReason) + "," + std::to_string(r.m_nBytes) + "," + Seconds(r.m_dSeconds) + "\n";
}

std::string CUnitLog::JsonLine(const CUnitRecord& r)
{
    nlohmann::ordered_json json;
    json["time"] = UtcTime(r.m_tTime);
    json["station"] = Latin1ToUtf8(r.m_strStation);
    json["port"] = Latin1ToUtf8(r.m_strPort);
    json["identity"] = r.m_strIdentity ? nlohmann::ordered_json(Latin1ToUtf8(*r.m_strIdentity)) : nullptr;
    json["file"] = Latin1ToUtf8(r.m_strFile);
    json["sha256"] = r.m_strSha256;
    json["serial"] = r.m_strSerial ? nlohmann::ordered_json(*r.m_strSerial) : nullptr;
    json["attempt"] = r.m_nAttempt;
    json["result"] = r.m_strResult;
    json["reason"] = Latin1ToUtf8(r.m_strReason);
    json["bytes"] = r.m_nBytes;
    json["seconds"] = std::round(r.m_dSeconds * 1000) / 1000;
    return json.dump(-1, ' ', true) + "\n";
}

std::error_code CUnitLog::Open(const std::string& path)
{
    std::lock_guard lock(m_mutex);
    m_strPath = path;
    m_bJson = IsJsonLines(path);
    if (std::error_code code = m_file.Append(path))
        return code;
    // Written at once: nothing else has the object yet.
    std::uint64_t size = 0;
    if (std::error_code code = m_file.Size(size))
        return code;
    return size == 0 && !m_bJson ? Append(CsvHeader()) : std::error_code();
}

std::error_code CUnitLog::Write(const CUnitRecord& record)
{
    const std::string line = m_bJson ? JsonLine(record) : CsvLine(record);
    std::unique_lock lock(m_mutex);
    m_strWaiting += line;
    const std::uint64_t mine = ++m_nQueued;
    while (m_nSynced < mine && !m_error) {
        if (m_bSyncing) {
            m_synced.wait(lock);
            continue;
        }
        // No sync runs: this thread writes and syncs every record waiting, its own among them.
        m_bSyncing = true;
        std::string batch;
        batch.swap(m_strWaiting);
        const std::uint64_t upTo = m_nQueued;
        lock.unlock();
        const std::error_code code = Append(batch);
        lock.lock();
        m_bSyncing = false;
        if (code)
            m_error = code;
        else
            m_nSynced = upTo;
        m_synced.notify_all();
    }
    return m_nSynced >= mine ? std::error_code() : m_error;
}

std::error_code CUnitLog::Append(const std::string& text)
{
    // One write for the whole record where the system allows it; then onto the disk.
    if (std::error_code code = m_file.WriteAll(text.data(), text.size()))
        return code;
    return m_file.Sync();
}
