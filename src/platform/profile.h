#pragma once

#include <string>

namespace platform {

// The application profile: an INI file in the system directory named after the program
// ("linkvet.ini"), which keeps what the framework kept there. Section and value names compare
// without regard to ASCII case, as the Windows profile functions do.
int GetProfileInt(const std::string& section, const std::string& name, int defaultValue);
// Writes the whole file anew through a temporary file and a rename, so it is never half
// written. False when it could not be written.
bool WriteProfileInt(const std::string& section, const std::string& name, int value);

std::string ProfilePath();

}  // namespace platform
