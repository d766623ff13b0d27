#pragma once
// HostName: this machine's name, the station a unit log names by default. Any thread. The
// system call lives in host_name_posix.cpp.

#include <string>

// Empty when the system does not say.
std::string HostName();
