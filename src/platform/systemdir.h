#pragma once

#include <string>

namespace platform {

// The directory that stands in for the Windows directory: the scanner's work files, the key
// store, the legacy settings file and the application profile all live here. It is
// $LINKVET_HOME when set, else $XDG_STATE_HOME/linkvet, else ~/.local/state/linkvet, and it is
// created on first use. Read afresh on every call, so a test can point it elsewhere.
std::string SystemDirectory();

// Joins a directory and a name with one "/", as Linkvet builds every path: nothing is trimmed.
std::string JoinPath(const std::string& directory, const std::string& name);

}  // namespace platform
