#pragma once

#include <ctime>
#include <string>

namespace platform {

// The long date-and-time form of "%#c" in an English locale, such as
// "Tuesday, March 14, 1995, 12:41:29", for a moment in local time.
std::string LongDateTime(std::time_t moment);

}  // namespace platform
