#pragma once
// MatchingPaths: the paths that match a shell pattern ("/dev/ttyUSB*") now, sorted; a plain
// name stands for itself when it exists. The production loop scans its port patterns with it.
// Any thread. The system call lives in path_pattern_posix.cpp.

#include <string>
#include <vector>

std::vector<std::string> MatchingPaths(const std::string& pattern);
