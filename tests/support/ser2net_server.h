#pragma once
// CSer2netServer: a real ser2net serving devices (the board simulators' pseudo-terminals) on
// 127.0.0.1, each on a free port, from a configuration written for it: accepter
// telnet(rfc2217) (or raw tcp), connector serialdev,PATH,...,local. The constructor returns once
// every port listens (or ser2net failed: Error says why); the destructor stops it. One owner.

#include "temp_dir.h"

#include <string>
#include <vector>

class CSer2netServer {
public:
    // Whether ser2net can be run here (the tests skip, saying so, when it cannot).
    static bool Available();

    // port: the first device's port (0: a free one), as for a server started again.
    explicit CSer2netServer(const std::vector<std::string>& devices, bool rfc2217 = true, int port = 0);
    ~CSer2netServer();
    CSer2netServer(const CSer2netServer&) = delete;
    CSer2netServer& operator=(const CSer2netServer&) = delete;

    // Empty when every port listens.
    const std::string& Error() const { return m_strError; }
    int Port(std::size_t index = 0) const { return m_ports.at(index); }
    // rfc2217://127.0.0.1:PORT (socket:// for raw tcp).
    std::string Url(std::size_t index = 0) const;
    // Ends ser2net at once (SIGKILL), as a server that dies; waits for it.
    void Kill();

private:
    bool Listening(int port) const;
    void Stop(int signal);

    CTempDir m_dir;
    bool m_bRfc2217;
    std::vector<int> m_ports;
    int m_nPid = -1;
    int m_fdPid = -1;
    std::string m_strError;
};
