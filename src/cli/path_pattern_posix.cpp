#include "cli/path_pattern.h"

#include <glob.h>

std::vector<std::string> MatchingPaths(const std::string& pattern)
{
    std::vector<std::string> paths;
    glob_t found{};
    if (::glob(pattern.c_str(), 0, nullptr, &found) == 0)
        for (std::size_t i = 0; i < found.gl_pathc; ++i)
            paths.emplace_back(found.gl_pathv[i]);
    ::globfree(&found);
    return paths;
}
