// What a remote port's server sends: any bytes are taken without a crash, the data given out is
// never longer than what came, and the stream cut anywhere gives the same data, the same answers
// and the same agreed options as the stream taken whole (a server's commands split across reads).

#include "fuzz_check.h"
#include "serial/rfc2217_protocol.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    // The first byte chooses where the stream is cut.
    const std::uint8_t* stream = data + 1;
    const std::size_t length = size - 1;
    const std::size_t cut = data[0] % (length + 1);

    CRfc2217Protocol whole;
    CRfc2217Protocol split;
    std::string wholeOut;
    std::string splitOut;
    whole.Start(wholeOut);
    split.Start(splitOut);
    std::string wholeData;
    std::string splitData;
    whole.Receive(stream, length, wholeData, wholeOut);
    split.Receive(stream, cut, splitData, splitOut);
    split.Receive(stream + cut, length - cut, splitData, splitOut);

    FUZZ_CHECK(wholeData.size() <= length);
    FUZZ_CHECK(wholeData == splitData);
    FUZZ_CHECK(wholeOut == splitOut);
    FUZZ_CHECK(whole.AgreedText() == split.AgreedText());
    FUZZ_CHECK(whole.PendingAcks() == split.PendingAcks());
    return 0;
}
