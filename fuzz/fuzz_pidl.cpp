// Item identifier lists from drag data: any bytes give a null list or a well-formed one
// without reading past their end; a list read back from its own bytes is the same list, and
// every reader of entries stays inside the entry.

#include "browser/pidl.h"
#include "fuzz_check.h"

#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const CPidl pidl = CPidl::Deserialize(bytes);
    if (pidl.IsNull())
        return 0;
    const std::string serialized = pidl.Serialize();
    FUZZ_CHECK(serialized.size() <= bytes.size());
    FUZZ_CHECK(bytes.substr(0, serialized.size()) == serialized);
    const CPidl again = CPidl::Deserialize(serialized);
    FUZZ_CHECK(again == pidl);
    FUZZ_CHECK(again.Serialize() == serialized);

    std::size_t total = 0;
    for (std::string_view entry : pidl.Entries()) {
        total += entry.size();
        PidlEntryKind(entry);
        PidlFileName(entry);
        PidlPlaceType(entry);
        PidlPlaceDriveType(entry);
        PidlPlacePath(entry);
    }
    FUZZ_CHECK(total == pidl.Size());
    FUZZ_CHECK(PidlLastEntry(pidl) == PidlLastEntry(pidl.Last()));
    const CPidl both = CPidl::Concat(pidl, again);
    FUZZ_CHECK(both.Size() == 2 * pidl.Size());
    GetPidlPath(pidl);
    return 0;
}
