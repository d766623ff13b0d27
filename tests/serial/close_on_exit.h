#pragma once
// Closes a port when the test leaves, also after a failed assertion. Declared after the futures
// that use the port, it runs before their destructors: the close ends the operations they are
// blocked in (and the far end's writes, see CPtyPair::Send), so the test ends instead of hanging.

#include "serial/serial_port.h"

class CCloseOnExit {
public:
    explicit CCloseOnExit(CSerialPort& port) : m_port(port) {}
    ~CCloseOnExit() { m_port.Close(); }
    CCloseOnExit(const CCloseOnExit&) = delete;
    CCloseOnExit& operator=(const CCloseOnExit&) = delete;

private:
    CSerialPort& m_port;
};
