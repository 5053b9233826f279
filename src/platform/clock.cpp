#include "clock.h"

#include <array>
#include <cstdio>

namespace platform {

std::string LongDateTime(std::time_t moment) {
    static constexpr std::array<const char*, 7> kDays = {
        "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    static constexpr std::array<const char*, 12> kMonths = {
        "January", "February", "March",     "April",   "May",      "June",
        "July",    "August",   "September", "October", "November", "December"};
    std::tm local{};
    ::localtime_r(&moment, &local);
    char text[80];
    std::snprintf(text, sizeof text, "%s, %s %d, %d, %02d:%02d:%02d", kDays[local.tm_wday],
                  kMonths[local.tm_mon], local.tm_mday, local.tm_year + 1900, local.tm_hour,
                  local.tm_min, local.tm_sec);
    return text;
}

}  // namespace platform
