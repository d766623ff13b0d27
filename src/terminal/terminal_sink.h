#pragma once
// ITerminalSink: where the receive parser shows the board's text. The window layer appends in
// black at the end of the terminal; the command line writes to stdout. Called on the thread
// that runs the parser (the GUI thread in the program).

#include <cstddef>
#include <cstdint>
#include <string_view>

class ITerminalSink {
public:
    virtual ~ITerminalSink() = default;
    // Appends a run of displayable text at the end.
    virtual void AppendTerminalText(std::string_view run) = 0;
    // Deletes the last shown character; nothing at the very start.
    virtual void DeleteLastChar() = 0;
    // Every block as read from the port, before any of it is shown (for a hex view).
    virtual void ReceivedBytes(const std::uint8_t* /*data*/, std::size_t /*count*/) {}
};
