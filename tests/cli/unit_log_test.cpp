// The unit log: CSV fields quoted where they need it, JSON Lines that parse, the header once
// however often the file is opened, and a log that cannot be written said at once.

#include "cli/unit_log.h"
#include "temp_dir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <set>
#include <sstream>
#include <thread>

namespace {

CUnitRecord Record(const std::string& reason)
{
    CUnitRecord record;
    // 2026-12-08 17:50:01.123 UTC.
    record.m_tTime = std::chrono::system_clock::time_point(std::chrono::milliseconds(1796752201123LL));
    record.m_strStation = "line 3";
    record.m_strPort = "/dev/ttyUSB0";
    record.m_strIdentity = "usb-FTDI_A";
    record.m_strFile = "fw.hex";
    record.m_strSha256 = std::string(64, 'a');
    record.m_strSerial = "1000";
    record.m_nAttempt = 2;
    record.m_strResult = "board-error";
    record.m_strReason = reason;
    record.m_nBytes = 56263;
    record.m_dSeconds = 1.41549;
    return record;
}

TEST(UnitLog, CsvQuotesOnlyWhatNeedsIt)
{
    const struct {
        const char* reason;
        const char* field;
    } cases[] = {
        {"plain text", "plain text"},
        {"a, b", "\"a, b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\nlines", "\"two\nlines\""},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CUnitLog::CsvLine(Record(c.reason)),
            std::string("2026-12-08T17:50:01.123Z,line 3,/dev/ttyUSB0,usb-FTDI_A,fw.hex,") + std::string(64, 'a')
                + ",1000,2,board-error," + c.field + ",56263,1.415\n")
            << c.reason;
    }
    CUnitRecord bare = Record("x");
    bare.m_strIdentity.reset();
    bare.m_strSerial.reset();
    EXPECT_NE(CUnitLog::CsvLine(bare).find(",/dev/ttyUSB0,,fw.hex,"), std::string::npos);
    EXPECT_NE(CUnitLog::CsvLine(bare).find(",,2,board-error,"), std::string::npos);
}

TEST(UnitLog, JsonLinesParse)
{
    CUnitRecord record = Record("a \"quoted\", odd\x80 reason");
    record.m_strIdentity.reset();
    const std::string line = CUnitLog::JsonLine(record);
    ASSERT_EQ(line.back(), '\n');
    EXPECT_EQ(line.find('\n'), line.size() - 1);
    const nlohmann::json json = nlohmann::json::parse(line);
    EXPECT_EQ(json["time"], "2026-12-08T17:50:01.123Z");
    EXPECT_EQ(json["station"], "line 3");
    EXPECT_TRUE(json["identity"].is_null());
    EXPECT_EQ(json["serial"], "1000");
    EXPECT_EQ(json["attempt"], 2);
    EXPECT_EQ(json["reason"], "a \"quoted\", odd\xC2\x80 reason");
    EXPECT_EQ(json["bytes"], 56263);
    EXPECT_DOUBLE_EQ(json["seconds"].get<double>(), 1.415);
}

TEST(UnitLog, HeaderOnceAndEachRecordAppended)
{
    const CTempDir dir;
    for (const char* name : {"units.csv", "units.jsonl"}) {
        SCOPED_TRACE(name);
        for (int run = 0; run < 2; ++run) {
            CUnitLog log;
            ASSERT_FALSE(log.Open(dir.Path(name)));
            EXPECT_FALSE(log.Write(Record("r" + std::to_string(run))));
        }
        const std::string text = dir.Read(name);
        if (CUnitLog::IsJsonLines(name)) {
            EXPECT_EQ(text, CUnitLog::JsonLine(Record("r0")) + CUnitLog::JsonLine(Record("r1")));
        } else {
            EXPECT_EQ(text, CUnitLog::CsvHeader() + CUnitLog::CsvLine(Record("r0")) + CUnitLog::CsvLine(Record("r1")));
        }
    }
}

// Boards ending together: every record reaches the file whole, once, whoever syncs it.
TEST(UnitLog, RecordsFromManyThreadsAreEachWrittenOnce)
{
    const CTempDir dir;
    CUnitLog log;
    ASSERT_FALSE(log.Open(dir.Path("units.csv")));
    std::vector<std::thread> boards;
    for (int b = 0; b < 16; ++b)
        boards.emplace_back([&log, b] {
            for (int a = 0; a < 20; ++a)
                EXPECT_FALSE(log.Write(Record("board " + std::to_string(b) + " record " + std::to_string(a))));
        });
    for (std::thread& board : boards)
        board.join();
    std::istringstream in(dir.Read("units.csv"));
    std::set<std::string> lines;
    for (std::string line; std::getline(in, line);)
        EXPECT_TRUE(lines.insert(line + "\n").second) << line;
    EXPECT_EQ(lines.size(), 16u * 20u + 1);
    EXPECT_TRUE(lines.count(CUnitLog::CsvHeader()));
    EXPECT_TRUE(lines.count(CUnitLog::CsvLine(Record("board 15 record 19"))));
}

TEST(UnitLog, ALogThatCannotBeWrittenSaysWhy)
{
    const CTempDir dir;
    CUnitLog missing;
    EXPECT_EQ(missing.Open(dir.Path("no/units.csv")), std::errc::no_such_file_or_directory);
    // The header goes to a full disk.
    CUnitLog full;
    EXPECT_EQ(full.Open("/dev/full"), std::errc::no_space_on_device);
}

} // namespace
