#pragma once
// Where the user guide is. The installed copy sits under the executable's prefix
// (bin/../share/doc/quillorex-programmer/guide.html); a build tree makes its own copy in the
// build's doc folder. Pure file-system lookups; any thread.

#include <string>

// The guide's absolute path, the installed copy first; empty when neither exists.
std::string FindUserGuide(const std::string& strExecutableDir, const std::string& strBuildDocDir);

// The installed copy's path for an executable in strExecutableDir, whether it exists or not.
std::string InstalledUserGuidePath(const std::string& strExecutableDir);
