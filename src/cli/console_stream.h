#pragma once
// Whether a standard stream of qxprog shows on a terminal: progress bars, tables drawn over
// themselves and erasing only make sense there. Any thread. The system call lives in
// console_stream_posix.cpp.

#include <cstdio>

bool IsTerminalStream(std::FILE* stream);
