#include "base/local_time.h"

std::tm LocalTime(std::time_t moment)
{
    std::tm local{};
    ::localtime_r(&moment, &local);
    return local;
}
