// Port settings: the normalisation table, loading with defaults, the pane text and the
// single-value commands, each writing exactly one key as text.

#include "base/commands.h"
#include "base/memory_settings_store.h"
#include "port/port_settings.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

using namespace cmd;

// ---- Normalisation ---------------------------------------------------------------------------

struct NormalRow {
    const char* m_name;
    const char* m_stored;
    const char* m_text;
    int m_number;
};

void PrintTo(const NormalRow& row, std::ostream* out)
{
    *out << row.m_name << " \"" << row.m_stored << "\"";
}

class BaudRule : public ::testing::TestWithParam<NormalRow> {};
TEST_P(BaudRule, Normalises)
{
    std::string text = GetParam().m_stored;
    EXPECT_EQ(static_cast<int>(CPortSettings::NormalizeBaud(text)), GetParam().m_number);
    EXPECT_EQ(text, GetParam().m_text);
}
INSTANTIATE_TEST_SUITE_P(Table, BaudRule, ::testing::Values(
    NormalRow{"standard", "9600", "9600", 9600},
    NormalRow{"every allowed 1", "1200", "1200", 1200},
    NormalRow{"every allowed 2", "14400", "14400", 14400},
    NormalRow{"every allowed 3", "56000", "56000", 56000},
    NormalRow{"every allowed 4", "115200", "115200", 115200},
    NormalRow{"trailing blank kept", "9600 ", "9600 ", 9600},
    NormalRow{"leading blanks kept", "  57600", "  57600", 57600},
    NormalRow{"trailing junk kept", "38400baud", "38400baud", 38400},
    NormalRow{"plus sign", "+2400", "+2400", 2400},
    NormalRow{"another standard rate", "4800", "4800", 4800},
    NormalRow{"a typed rate", "250000", "250000", 250000},
    NormalRow{"lowest", "50", "50", 50},
    NormalRow{"below the lowest", "49", "19200", 19200},
    NormalRow{"highest", "4000000", "4000000", 4000000},
    NormalRow{"above the highest", "4000001", "19200", 19200},
    NormalRow{"negative", "-9600", "19200", 19200},
    NormalRow{"no digits", "fast", "19200", 19200},
    NormalRow{"empty", "", "19200", 19200},
    NormalRow{"huge", "99999999999999999999999", "19200", 19200},
    NormalRow{"zero", "0", "19200", 19200}),
    [](const auto& info) { return "row" + std::to_string(info.index); });

class DataBitsRule : public ::testing::TestWithParam<NormalRow> {};
TEST_P(DataBitsRule, Normalises)
{
    std::string text = GetParam().m_stored;
    EXPECT_EQ(static_cast<int>(CPortSettings::NormalizeDataBits(text)), GetParam().m_number);
    EXPECT_EQ(text, GetParam().m_text);
}
INSTANTIATE_TEST_SUITE_P(Table, DataBitsRule, ::testing::Values(
    NormalRow{"five", "5", "5", 5}, NormalRow{"six", "6", "6", 6}, NormalRow{"seven", "7", "7", 7},
    NormalRow{"eight", "8", "8", 8}, NormalRow{"blank kept", " 7 ", " 7 ", 7},
    NormalRow{"four", "4", "8", 8}, NormalRow{"nine", "9", "8", 8}, NormalRow{"empty", "", "8", 8},
    NormalRow{"word", "seven", "8", 8}),
    [](const auto& info) { return "row" + std::to_string(info.index); });

class ParityRule : public ::testing::TestWithParam<NormalRow> {};
TEST_P(ParityRule, Normalises)
{
    std::string text = GetParam().m_stored;
    EXPECT_EQ(static_cast<int>(CPortSettings::NormalizeParity(text)), GetParam().m_number);
    EXPECT_EQ(text, GetParam().m_text);
}
INSTANTIATE_TEST_SUITE_P(Table, ParityRule, ::testing::Values(
    NormalRow{"letter", "O", "O", 1}, NormalRow{"word", "Odd", "O", 1}, NormalRow{"lower", "odd", "N", 0},
    NormalRow{"even", "Even", "E", 2}, NormalRow{"mark", "Mark", "M", 3}, NormalRow{"space", "Space", "S", 4},
    NormalRow{"none", "None", "N", 0}, NormalRow{"n", "N", "N", 0}, NormalRow{"empty", "", "N", 0},
    NormalRow{"blank first", " O", "N", 0}, NormalRow{"other", "X", "N", 0}),
    [](const auto& info) { return "row" + std::to_string(info.index); });

class StopBitsRule : public ::testing::TestWithParam<NormalRow> {};
TEST_P(StopBitsRule, Normalises)
{
    std::string text = GetParam().m_stored;
    EXPECT_EQ(static_cast<int>(CPortSettings::NormalizeStopBits(text)), GetParam().m_number);
    EXPECT_EQ(text, GetParam().m_text);
}
INSTANTIATE_TEST_SUITE_P(Table, StopBitsRule, ::testing::Values(
    NormalRow{"one", "1", "1", 0}, NormalRow{"one and a half", "1.5", "1.5", 1}, NormalRow{"two", "2", "2", 2},
    NormalRow{"1.50", "1.50", "1", 0}, NormalRow{"blank", "2 ", "1", 0}, NormalRow{"empty", "", "1", 0},
    NormalRow{"comma", "1,5", "1", 0}),
    [](const auto& info) { return "row" + std::to_string(info.index); });

class HandshakeRule : public ::testing::TestWithParam<NormalRow> {};
TEST_P(HandshakeRule, Normalises)
{
    std::string text = GetParam().m_stored;
    EXPECT_EQ(static_cast<int>(CPortSettings::NormalizeHandshake(text)), GetParam().m_number);
    EXPECT_EQ(text, GetParam().m_text);
}
INSTANTIATE_TEST_SUITE_P(Table, HandshakeRule, ::testing::Values(
    NormalRow{"none", "None", "None", 0}, NormalRow{"empty default", "", "None", 0},
    NormalRow{"hardware", "RTS/CTS", "RTS/CTS", 1},
    NormalRow{"hardware long", "RTS/CTS (Hardware)", "RTS/CTS", 1},
    NormalRow{"software", "XON/XOFF", "XON/XOFF", 2},
    NormalRow{"software long", "XON/XOFF (Software)", "XON/XOFF", 2},
    NormalRow{"short prefix", "RTS/CT", "None", 0}, NormalRow{"lower", "rts/cts", "None", 0},
    NormalRow{"none lower", "none", "None", 0}, NormalRow{"menu text", "&None", "None", 0}),
    [](const auto& info) { return "row" + std::to_string(info.index); });

TEST(PortSettingsTest, AtolReadsLikeTheCLibrary)
{
    EXPECT_EQ(CPortSettings::ParseLeadingInteger(" \t\n42x"), 42);
    EXPECT_EQ(CPortSettings::ParseLeadingInteger("-17"), -17);
    EXPECT_EQ(CPortSettings::ParseLeadingInteger("+"), 0);
    EXPECT_EQ(CPortSettings::ParseLeadingInteger("x42"), 0);
    EXPECT_EQ(CPortSettings::ParseLeadingInteger("99999999999999999999999"), LONG_MAX);
}

// ---- Loading ---------------------------------------------------------------------------------

TEST(PortSettingsTest, EmptyStoreGivesTheDefaults)
{
    CMemorySettingsStore store;
    CPortSettings settings;
    settings.m_strPort = "stale";
    settings.LoadPortSettings(store);
    EXPECT_EQ(settings.m_strPort, "COM1");
    EXPECT_EQ(settings.m_strBaud, "19200");
    EXPECT_EQ(static_cast<int>(settings.m_line.m_nBaud), 19200);
    EXPECT_EQ(settings.m_strDataBits, "8");
    EXPECT_EQ(static_cast<int>(settings.m_line.m_nDataBits), 8);
    EXPECT_EQ(settings.m_strParity, "N");
    EXPECT_EQ(static_cast<int>(settings.m_line.m_eParity), 0);
    EXPECT_EQ(settings.m_strStopBits, "1");
    EXPECT_EQ(static_cast<int>(settings.m_line.m_eStopBits), 0);
    EXPECT_EQ(settings.m_strHandshake, "None");
    EXPECT_EQ(static_cast<int>(settings.m_line.m_eHandshake), 0);
    EXPECT_EQ(settings.PaneText(), "COM1: 19200 8N1 None");
    EXPECT_TRUE(store.WriteLog().empty());
}

TEST(PortSettingsTest, StoredValuesAreNormalisedAndNotWrittenBack)
{
    CMemorySettingsStore store;
    store.WriteString("Port", "COM25");
    store.WriteString("Baud", "5000000");
    store.WriteString("DataBit", "7");
    store.WriteString("Parity", "Odd");
    store.WriteString("StopBit", "1.50");
    store.WriteString("Handshake", "RTS/CTS (Hardware)");
    const std::size_t writes = store.WriteLog().size();
    CPortSettings settings;
    settings.LoadPortSettings(store);
    EXPECT_EQ(settings.m_strPort, "COM25");
    EXPECT_EQ(settings.m_strBaud, "19200");
    EXPECT_EQ(settings.m_strDataBits, "7");
    EXPECT_EQ(settings.m_strParity, "O");
    EXPECT_EQ(static_cast<int>(settings.m_line.m_eParity), 1);
    EXPECT_EQ(settings.m_strStopBits, "1");
    EXPECT_EQ(settings.m_strHandshake, "RTS/CTS");
    EXPECT_EQ(static_cast<int>(settings.m_line.m_eHandshake), 1);
    EXPECT_EQ(store.WriteLog().size(), writes);
    EXPECT_EQ(store.ReadString("Baud", ""), "5000000");
    // Each value replaced is said once with what is used; a longer way of writing one is not.
    settings.LoadPortSettings(store);
    EXPECT_EQ(store.Warnings(), (std::vector<std::string>{"Settings: Baud=5000000 is not a valid value; 19200 is used.",
        "Settings: StopBit=1.50 is not a valid value; 1 is used."}));
}

TEST(PortSettingsTest, UnreadableValuesAreSaid)
{
    CMemorySettingsStore store;
    for (const auto& [key, value] : std::vector<std::pair<std::string, std::string>>{
             {"Baud", "abc"}, {"DataBit", "nine"}, {"Parity", "X"}, {"Handshake", "bogus"}, {"Reconnect", "off"}})
        store.WriteString(key, value);
    CPortSettings settings;
    settings.LoadPortSettings(store);
    EXPECT_EQ(static_cast<int>(settings.m_line.m_nBaud), 19200);
    EXPECT_FALSE(settings.m_bReconnect);
    EXPECT_EQ(store.Warnings(), (std::vector<std::string>{"Settings: Baud=abc is not a valid value; 19200 is used.",
        "Settings: DataBit=nine is not a valid value; 8 is used.", "Settings: Parity=X is not a valid value; N is used.",
        "Settings: Handshake=bogus is not a valid value; None is used."}));
}

TEST(PortSettingsTest, PaneTexts)
{
    CPortSettings settings;
    settings.m_strPort = "COM3";
    settings.SetBaud("115200");
    settings.SetDataBits("7");
    settings.SetParity("E");
    settings.SetStopBits("1.5");
    settings.SetHandshake("RTS/CTS");
    EXPECT_EQ(settings.PaneText(), "COM3: 115200 7E1.5 RTS/CTS");
    settings.SetPortName("ttyUSB0");
    settings.SetHandshake("XON/XOFF");
    EXPECT_EQ(settings.PaneText(), "ttyUSB0: 115200 7E1.5 XON/XOFF");
    // A record whose handshake text is empty shows no trailing part.
    settings.m_strHandshake.clear();
    EXPECT_EQ(settings.PaneText(), "ttyUSB0: 115200 7E1.5");
}

// ---- Single-value commands -------------------------------------------------------------------

struct CommandRow {
    int m_id;
    const char* m_key;
    const char* m_text;
    int m_number; // -1: no number member
};

void PrintTo(const CommandRow& row, std::ostream* out)
{
    *out << row.m_id;
}

class PortCommand : public ::testing::TestWithParam<CommandRow> {};

int NumberFor(const CPortSettings& settings, const std::string& key)
{
    if (key == "Baud")
        return static_cast<int>(settings.m_line.m_nBaud);
    if (key == "DataBit")
        return static_cast<int>(settings.m_line.m_nDataBits);
    if (key == "Parity")
        return static_cast<int>(settings.m_line.m_eParity);
    if (key == "StopBit")
        return static_cast<int>(settings.m_line.m_eStopBits);
    if (key == "Handshake")
        return static_cast<int>(settings.m_line.m_eHandshake);
    return -1;
}

TEST_P(PortCommand, WritesOneKeyAsText)
{
    const CommandRow& row = GetParam();
    CMemorySettingsStore store;
    CPortSettings settings;
    const bool handled = settings.OnPortName(row.m_id, store) || settings.OnBaudRate(row.m_id, store)
        || settings.OnHandshake(row.m_id, store) || settings.OnStopBits(row.m_id, store)
        || settings.OnParity(row.m_id, store) || settings.OnDataBits(row.m_id, store);
    ASSERT_TRUE(handled);
    ASSERT_EQ(store.WriteLog(), std::vector<std::string>{row.m_key});
    const auto values = store.Values();
    ASSERT_TRUE(std::holds_alternative<std::string>(values.at(row.m_key)));
    EXPECT_EQ(std::get<std::string>(values.at(row.m_key)), row.m_text);
    EXPECT_EQ(NumberFor(settings, row.m_key), row.m_number);
}

INSTANTIATE_TEST_SUITE_P(Commands, PortCommand, ::testing::Values(
    CommandRow{32796, "Port", "COM1", -1}, CommandRow{32805, "Port", "COM10", -1},
    CommandRow{32815, "Port", "COM20", -1},
    CommandRow{32816, "Baud", "1200", 1200}, CommandRow{32817, "Baud", "2400", 2400},
    CommandRow{32818, "Baud", "9600", 9600}, CommandRow{32819, "Baud", "14400", 14400},
    CommandRow{32820, "Baud", "19200", 19200}, CommandRow{32821, "Baud", "38400", 38400},
    CommandRow{32822, "Baud", "56000", 56000}, CommandRow{32823, "Baud", "57600", 57600},
    CommandRow{32824, "Baud", "115200", 115200},
    CommandRow{32920, "Baud", "300", 300}, CommandRow{32923, "Baud", "4800", 4800},
    CommandRow{32924, "Baud", "230400", 230400}, CommandRow{32936, "Baud", "4000000", 4000000},
    CommandRow{32825, "Handshake", "None", 0}, CommandRow{32826, "Handshake", "RTS/CTS", 1},
    CommandRow{32827, "Handshake", "XON/XOFF", 2},
    CommandRow{32828, "StopBit", "1", 0}, CommandRow{32829, "StopBit", "1.5", 1},
    CommandRow{32830, "StopBit", "2", 2},
    CommandRow{32831, "Parity", "N", 0}, CommandRow{32832, "Parity", "O", 1},
    CommandRow{32833, "Parity", "E", 2}, CommandRow{32834, "Parity", "M", 3},
    CommandRow{32835, "Parity", "S", 4},
    CommandRow{32836, "DataBit", "5", 5}, CommandRow{32837, "DataBit", "6", 6},
    CommandRow{32838, "DataBit", "7", 7}, CommandRow{32839, "DataBit", "8", 8}));

TEST(PortSettingsTest, HandlersIgnoreOtherCommands)
{
    CMemorySettingsStore store;
    CPortSettings settings;
    for (int id : {32795, 32840, 0, ID_BAUD_FIRST}) {
        if (id != ID_BAUD_FIRST) {
            EXPECT_FALSE(settings.OnPortName(id, store));
        }
        EXPECT_FALSE(settings.OnDataBits(id, store));
    }
    EXPECT_FALSE(settings.OnParity(ID_DATABITS_FIRST, store));
    EXPECT_FALSE(settings.OnHandshake(ID_STOPBITS_FIRST, store));
    EXPECT_TRUE(store.WriteLog().empty());
    EXPECT_EQ(settings.PaneText(), "COM1: 19200 8N1 None");
}

TEST(PortSettingsTest, EvenFromThePopupChangesPaneAndOneKey)
{
    CMemorySettingsStore store;
    CPortSettings settings;
    settings.LoadPortSettings(store);
    ASSERT_TRUE(settings.OnParity(32833, store));
    EXPECT_EQ(settings.PaneText(), "COM1: 19200 8E1 None");
    EXPECT_EQ(store.WriteLog(), std::vector<std::string>{"Parity"});
}

TEST(PortSettingsTest, PortListChoosesByPosition)
{
    CMemorySettingsStore store;
    CPortSettings settings;
    const std::vector<std::string> shown{"COM1", "ttyACM0", "ttyUSB3"};
    ASSERT_TRUE(settings.OnPortListChoice(ID_PORT_FIRST + 2, shown, store));
    EXPECT_EQ(settings.m_strPort, "ttyUSB3");
    EXPECT_EQ(store.ReadString("Port", ""), "ttyUSB3");
    EXPECT_FALSE(settings.OnPortListChoice(ID_PORT_FIRST + 3, shown, store));
    EXPECT_FALSE(settings.OnPortListChoice(ID_BAUD_FIRST, shown, store));
    EXPECT_EQ(store.WriteLog().size(), 1u);
}

TEST(PortSettingsTest, SaveAllWritesSixKeysInOrder)
{
    CMemorySettingsStore store;
    CPortSettings settings;
    settings.SaveAll(store);
    EXPECT_EQ(store.WriteLog(),
        (std::vector<std::string>{"Port", "Baud", "DataBit", "Parity", "StopBit", "Handshake"}));
    CPortSettings loaded;
    loaded.LoadPortSettings(store);
    EXPECT_EQ(loaded.PaneText(), settings.PaneText());
}

// ---- Texts and the typed line ----------------------------------------------------------------

// A line becomes the texts the commands write, and those texts, stored and loaded again, give
// the same line back.
TEST(PortSettingsTest, LineAndStoredTextsRoundTrip)
{
    struct Row {
        const char* m_name;
        CLineConfig m_line;
        const char* m_pane;
    } const rows[] = {
        {"the default", {}, "COM1: 19200 8N1 None"},
        {"7 data bits, even", {9600, 7, EParity::Even, EStopBits::One, EHandshake::None}, "COM1: 9600 7E1 None"},
        {"odd, two stop bits", {115200, 8, EParity::Odd, EStopBits::Two, EHandshake::Hardware},
            "COM1: 115200 8O2 RTS/CTS"},
        {"mark", {57600, 6, EParity::Mark, EStopBits::Two, EHandshake::Software}, "COM1: 57600 6M2 XON/XOFF"},
        {"space, 1.5", {300, 5, EParity::Space, EStopBits::OneAndHalf, EHandshake::None}, "COM1: 300 5S1.5 None"},
        {"a typed rate at the limits", {50, 8, EParity::None, EStopBits::One, EHandshake::None}, "COM1: 50 8N1 None"},
        {"the highest rate", {4000000, 8, EParity::None, EStopBits::One, EHandshake::None}, "COM1: 4000000 8N1 None"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.m_name);
        CPortSettings settings;
        settings.SetLine(row.m_line);
        EXPECT_EQ(settings.m_line, row.m_line);
        EXPECT_EQ(settings.PaneText(), row.m_pane);
        CMemorySettingsStore store;
        settings.SaveAll(store);
        CPortSettings loaded;
        loaded.LoadPortSettings(store);
        EXPECT_EQ(loaded.m_line, row.m_line);
        EXPECT_EQ(loaded.PaneText(), row.m_pane);
        EXPECT_TRUE(store.Warnings().empty());
    }
    // A rate outside the limits is stored as the default, as loading would replace it.
    CPortSettings settings;
    settings.SetLine({4000001});
    EXPECT_EQ(settings.m_strBaud, "19200");
    EXPECT_EQ(settings.m_line.m_nBaud, 19200u);
}

} // namespace
