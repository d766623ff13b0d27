// The Telnet Com Port Control client as bytes in and out: the negotiation, the data stream's
// escaping both ways with commands inside it (split anywhere), the settings asked for and the
// server's answers.

#include "serial/rfc2217_protocol.h"
#include "serial/serial_port.h"

#include <gtest/gtest.h>

namespace {

using P = CRfc2217Protocol;

std::string B(std::initializer_list<int> bytes)
{
    std::string text;
    for (int b : bytes)
        text += static_cast<char>(b);
    return text;
}

// A server's Com Port answer: IAC SB 44 command+100 value IAC SE (value already escaped).
std::string Answer(int command, const std::string& value)
{
    return B({P::kIac, P::kSb, P::kOptionComPort, command + P::kServerOffset}) + value + B({P::kIac, P::kSe});
}

std::string Feed(P& protocol, const std::string& bytes, std::string* out = nullptr)
{
    std::string data, replies;
    protocol.Receive(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), data, replies);
    if (out)
        *out += replies;
    return data;
}

// The server agrees to everything the client asked for.
const std::string kServerAgrees = B({P::kIac, P::kDo, 0, P::kIac, P::kWill, 0, P::kIac, P::kDo, 3, P::kIac, P::kWill, 3,
    P::kIac, P::kDo, 44});

TEST(Rfc2217Protocol, StartAsksForBinaryAndSuppressGoAheadBothWaysAndComPort)
{
    P protocol;
    std::string out;
    protocol.Start(out);
    EXPECT_EQ(out, B({255, 251, 0, 255, 253, 0, 255, 251, 3, 255, 253, 3, 255, 251, 44}));
    EXPECT_FALSE(protocol.NegotiationAnswered());
    EXPECT_FALSE(protocol.ComPortAccepted());
}

TEST(Rfc2217Protocol, AcceptedComPortSetsNoticeMasksAndAsksForTheLine)
{
    P protocol;
    std::string out;
    protocol.Start(out);
    std::string replies;
    EXPECT_EQ(Feed(protocol, kServerAgrees, &replies), "");
    EXPECT_TRUE(protocol.NegotiationAnswered());
    EXPECT_TRUE(protocol.ComPortAccepted());
    EXPECT_EQ(protocol.AgreedText(), "BINARY both ways, SUPPRESS-GO-AHEAD both ways, COM-PORT-OPTION");
    // No answer to an answer; then the masks and a query (value 0) of each setting.
    EXPECT_EQ(replies, B({255, 250, 44, 10, 0x1E, 255, 240, 255, 250, 44, 11, 0xFF, 0xFF, 255, 240,
                           255, 250, 44, 1, 0, 0, 0, 0, 255, 240, 255, 250, 44, 2, 0, 255, 240,
                           255, 250, 44, 3, 0, 255, 240, 255, 250, 44, 4, 0, 255, 240, 255, 250, 44, 5, 0, 255, 240}));
    EXPECT_EQ(protocol.PendingAcks(), P::kAckLine);
    // The server's settings come back.
    Feed(protocol, Answer(1, B({0, 0, 0x25, 0x80})) + Answer(2, B({7})) + Answer(3, B({3})) + Answer(4, B({2}))
            + Answer(5, B({3})));
    EXPECT_EQ(protocol.PendingAcks(), 0u);
    EXPECT_EQ(protocol.Line(), (CLineConfig{9600, 7, EParity::Even, EStopBits::Two, EHandshake::Hardware}));
}

struct NegotiationRow {
    const char* m_name;
    std::string m_in;
    std::string m_reply;
};

class Rfc2217Negotiation : public ::testing::TestWithParam<NegotiationRow> {};

TEST_P(Rfc2217Negotiation, AnswersAsTelnetWants)
{
    P protocol;
    std::string out;
    protocol.Start(out);
    Feed(protocol, kServerAgrees);
    std::string replies;
    Feed(protocol, GetParam().m_in, &replies);
    EXPECT_EQ(replies, GetParam().m_reply);
}

INSTANTIATE_TEST_SUITE_P(Verbs, Rfc2217Negotiation, ::testing::Values(
    NegotiationRow{"EchoRefused", B({255, 251, 1}), B({255, 254, 1})},
    NegotiationRow{"UnknownDoRefused", B({255, 253, 24}), B({255, 252, 24})},
    NegotiationRow{"AgreedAgainNoLoop", B({255, 253, 0, 255, 251, 3}), ""},
    NegotiationRow{"BinaryWithdrawnConfirmed", B({255, 254, 0}), B({255, 252, 0})},
    NegotiationRow{"EchoWithdrawnNothing", B({255, 252, 1}), ""}),
    [](const auto& info) { return std::string(info.param.m_name); });

TEST(Rfc2217Protocol, RefusedComPortIsKnown)
{
    P protocol;
    std::string out;
    protocol.Start(out);
    Feed(protocol, B({255, 254, 44, 255, 252, 0, 255, 254, 0, 255, 252, 3, 255, 254, 3}));
    EXPECT_TRUE(protocol.ComPortRefused());
    EXPECT_TRUE(protocol.NegotiationAnswered());
    EXPECT_EQ(protocol.AgreedText(), "none");
}

TEST(Rfc2217Protocol, DataIsEscapedOnTheWayOut)
{
    std::string out;
    const std::string data = B({0xFF, 'a', 0xFF, 0xFF, 0, 0xFE});
    P::AppendData(data.data(), data.size(), out);
    EXPECT_EQ(out, B({0xFF, 0xFF, 'a', 0xFF, 0xFF, 0xFF, 0xFF, 0, 0xFE}));
}

// A stream with data, doubled 0xFF, a NOP, a line-state notice and a negotiation in it gives the
// same data and the same notices however it is cut into receives.
TEST(Rfc2217Protocol, CommandsInsideTheDataAreSkippedWhereverTheStreamIsCut)
{
    const std::string stream = std::string("ab") + B({255, 255}) + "c" + B({255, 241}) + Answer(6, B({0x08}))
        + B({255, 251, 1}) + "d" + B({255, 255, 255, 255}) + Answer(1, B({0, 1, 0xC2, 0})) + "e";
    const std::string data = std::string("ab") + B({255}) + "cd" + B({255, 255}) + "e";
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        for (std::size_t second = cut; second <= stream.size(); second += 3) {
            P protocol;
            std::string replies;
            std::string got = Feed(protocol, stream.substr(0, cut), &replies);
            got += Feed(protocol, stream.substr(cut, second - cut), &replies);
            got += Feed(protocol, stream.substr(second), &replies);
            ASSERT_EQ(got, data) << "cut at " << cut << " and " << second;
            EXPECT_EQ(replies, B({255, 254, 1})) << "cut at " << cut;
            EXPECT_EQ(protocol.TakeLineErrors(), line_error::kFrame);
            EXPECT_EQ(protocol.Line().m_nBaud, 115200u);
        }
    }
}

TEST(Rfc2217Protocol, LineSettingsGoOutWithTheirCodesAndAnEscapedRate)
{
    P protocol;
    std::string out;
    // 65535 baud has 0xFF bytes: doubled inside the subnegotiation as well.
    protocol.RequestLine({65535, 5, EParity::Space, EStopBits::OneAndHalf, EHandshake::Software}, out);
    EXPECT_EQ(out, B({255, 250, 44, 1, 0, 0, 255, 255, 255, 255, 255, 240, 255, 250, 44, 2, 5, 255, 240,
                       255, 250, 44, 3, 5, 255, 240, 255, 250, 44, 4, 3, 255, 240, 255, 250, 44, 5, 2, 255, 240}));
    EXPECT_EQ(protocol.PendingAcks(), P::kAckLine);
    Feed(protocol, Answer(1, B({0, 0, 255, 255, 255, 255})) + Answer(2, B({5})) + Answer(3, B({5})) + Answer(4, B({3})));
    EXPECT_EQ(protocol.PendingAcks(), P::kAckFlow) << "the flow control is still awaited";
    Feed(protocol, Answer(5, B({2})));
    EXPECT_EQ(protocol.PendingAcks(), 0u);
    EXPECT_EQ(protocol.Line(), (CLineConfig{65535, 5, EParity::Space, EStopBits::OneAndHalf, EHandshake::Software}));
}

// A barrier (a query of the data size) answered before a setting's answer tells nothing of the
// setting: the setting waits for its own answer.
TEST(Rfc2217Protocol, BarriersAreAnsweredInOrderApartFromTheSettings)
{
    P protocol;
    std::string out;
    const std::uint64_t barrier = protocol.RequestBarrier(out);
    EXPECT_EQ(out, B({255, 250, 44, 2, 0, 255, 240}));
    protocol.RequestLine({9600, 7, EParity::None, EStopBits::One, EHandshake::None}, out);
    const std::uint64_t after = protocol.RequestBarrier(out);
    EXPECT_GT(after, barrier);
    Feed(protocol, Answer(2, B({8})));
    EXPECT_EQ(protocol.BarrierAnswers(), barrier);
    EXPECT_TRUE(protocol.PendingAcks() & P::kAckDataSize);
    EXPECT_EQ(protocol.Line().m_nDataBits, CLineConfig().m_nDataBits);
    Feed(protocol, Answer(2, B({7})) + Answer(2, B({7})));
    EXPECT_FALSE(protocol.PendingAcks() & P::kAckDataSize);
    EXPECT_EQ(protocol.Line().m_nDataBits, 7u);
    EXPECT_EQ(protocol.BarrierAnswers(), after);
}

struct ControlRow {
    std::uint8_t m_nValue;
    std::uint32_t m_nAck;
};

class Rfc2217Control : public ::testing::TestWithParam<ControlRow> {};

TEST_P(Rfc2217Control, EachControlWaitsForItsOwnAnswer)
{
    P protocol;
    std::string out;
    protocol.RequestControl(GetParam().m_nValue, out);
    EXPECT_EQ(out, B({255, 250, 44, 5, GetParam().m_nValue, 255, 240}));
    EXPECT_EQ(protocol.PendingAcks(), GetParam().m_nAck);
    Feed(protocol, Answer(5, B({GetParam().m_nValue})));
    EXPECT_EQ(protocol.PendingAcks(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Controls, Rfc2217Control, ::testing::Values(
    ControlRow{P::kControlDtrOn, P::kAckDtr}, ControlRow{P::kControlDtrOff, P::kAckDtr},
    ControlRow{P::kControlRtsOn, P::kAckRts}, ControlRow{P::kControlRtsOff, P::kAckRts},
    ControlRow{P::kControlBreakOn, P::kAckBreak}, ControlRow{P::kControlFlowHardware, P::kAckFlow}));

TEST(Rfc2217Protocol, ModemAndLineStateNotices)
{
    P protocol;
    Feed(protocol, Answer(7, B({0x10 | 0x80 | 0x01})) + Answer(6, B({0x10 | 0x02})));
    EXPECT_EQ(protocol.ModemLines(), MODEM_CTS | MODEM_DCD);
    EXPECT_EQ(protocol.TakeLineEvents(), line_event::kCts | line_event::kBreak | line_event::kErr);
    EXPECT_EQ(protocol.TakeLineEvents(), 0u);
    EXPECT_EQ(protocol.TakeLineErrors(), line_error::kBreak | line_error::kOverrun);
    std::string out;
    protocol.RequestPurgeReceived(out);
    EXPECT_EQ(out, B({255, 250, 44, 12, 1, 255, 240}));
    Feed(protocol, Answer(12, B({1})));
    EXPECT_EQ(protocol.PendingAcks(), 0u);
}

TEST(Rfc2217Protocol, AnOverlongSubnegotiationIsDroppedAndTheStreamGoesOn)
{
    P protocol;
    const std::string stream = Answer(1, std::string(200, '\x01')) + "ok";
    EXPECT_EQ(Feed(protocol, stream), "ok");
    EXPECT_EQ(protocol.Line().m_nBaud, CLineConfig().m_nBaud);
}

} // namespace
