#pragma once
// CTerminalTee: one terminal sink that hands every call to two others, in order (the terminal
// window first, then the log of shown lines). Called on the parser's thread; both sinks outlive
// the tee.

#include "terminal/terminal_sink.h"

class CTerminalTee : public ITerminalSink {
public:
    CTerminalTee(ITerminalSink& first, ITerminalSink& second) : m_first(first), m_second(second) {}

    void AppendTerminalText(std::string_view run) override
    {
        m_first.AppendTerminalText(run);
        m_second.AppendTerminalText(run);
    }
    void DeleteLastChar() override
    {
        m_first.DeleteLastChar();
        m_second.DeleteLastChar();
    }
    void ReceivedBytes(const std::uint8_t* data, std::size_t count) override
    {
        m_first.ReceivedBytes(data, count);
        m_second.ReceivedBytes(data, count);
    }

private:
    ITerminalSink& m_first;
    ITerminalSink& m_second;
};
