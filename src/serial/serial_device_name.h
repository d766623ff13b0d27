#pragma once
// Device names of serial lines: "/..." is a path used as is, "COMn" (n >= 1) is the n-th
// on-board port /dev/ttyS<n-1>, a remote name (rfc2217://HOST:PORT, socket://HOST:PORT) stays
// as it is, any other name is looked up under devRoot. Pure functions.

#include <string>

std::string SerialDevicePath(const std::string& name, const std::string& devRoot = "/dev");
