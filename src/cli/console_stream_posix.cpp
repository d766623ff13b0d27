#include "cli/console_stream.h"

#include <unistd.h>

bool IsTerminalStream(std::FILE* stream)
{
    return ::isatty(::fileno(stream)) == 1;
}
