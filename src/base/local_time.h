#pragma once
// LocalTime: a moment as this machine's wall clock shows it (its time zone and summer time), for
// the time stamps of the terminal log. Any thread (no shared buffer). The system call lives in
// local_time_posix.cpp.

#include <ctime>

std::tm LocalTime(std::time_t moment);
