// The text/uri-list of a drop: any bytes give local paths without a crash (each a path a file
// can have: absolute, no NUL byte), and a list made of the paths given back (each written as a file URI with every byte escaped) gives the same
// paths again.

#include "files/file_list.h"
#include "fuzz_check.h"

#include <cstdio>
#include <string>

namespace {
// file:///... with every byte after the first '/' escaped.
std::string FileUri(const std::string& path)
{
    std::string uri = "file:///";
    char escape[4];
    for (unsigned char c : path.substr(1)) {
        std::snprintf(escape, sizeof escape, "%%%02X", c);
        uri += escape;
    }
    return uri;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> paths = PathsFromUriList(text);
    std::string list = "# again\r\n";
    for (const std::string& path : paths) {
        FUZZ_CHECK(!path.empty() && path.front() == '/');
        FUZZ_CHECK(path.find('\0') == std::string::npos);
        list += FileUri(path) + "\r\n";
    }
    FUZZ_CHECK(PathsFromUriList(list) == paths);
    return 0;
}
