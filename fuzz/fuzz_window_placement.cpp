// The placement text of a dialog: whatever text is stored, a placement read from it formats to
// a text that reads back as the same placement, and that text formats to itself.

#include "fuzz_check.h"
#include "ui/window_placement.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::optional<CWindowPlacement> placement = CWindowPlacement::Parse(text);
    if (!placement)
        return 0;
    const std::string formatted = placement->Format();
    const std::optional<CWindowPlacement> again = CWindowPlacement::Parse(formatted);
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(*again == *placement);
    FUZZ_CHECK(again->Format() == formatted);
    return 0;
}
