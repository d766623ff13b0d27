#include "app/user_guide.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {
constexpr const char* kGuideName = "guide.html";

bool IsFile(const fs::path& path)
{
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}
} // namespace

std::string InstalledUserGuidePath(const std::string& strExecutableDir)
{
    return (fs::path(strExecutableDir).parent_path() / "share" / "doc" / "quillorex-programmer" / kGuideName)
        .lexically_normal()
        .string();
}

std::string FindUserGuide(const std::string& strExecutableDir, const std::string& strBuildDocDir)
{
    if (!strExecutableDir.empty()) {
        const fs::path installed = InstalledUserGuidePath(strExecutableDir);
        if (IsFile(installed))
            return fs::absolute(installed).string();
    }
    if (!strBuildDocDir.empty()) {
        const fs::path built = fs::path(strBuildDocDir) / kGuideName;
        if (IsFile(built))
            return fs::absolute(built).lexically_normal().string();
    }
    return {};
}
