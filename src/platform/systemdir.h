#pragma once

#include <optional>
#include <string>

namespace platform {

// The directory that stands in for the Windows directory: the scanner's work files, the key
// store, the legacy settings file and the application profile all live here. It is
// $LINKVET_HOME when set, else $XDG_STATE_HOME/linkvet, else <home>/.local/state/linkvet with
// the home folder from $HOME or, without it, from the password database; it is created on
// first use. nullopt when there is none, or when it is not the user's own or others may write
// in it: Linkvet then works as over a directory it cannot make. Read afresh on every call, so
// a test can point it elsewhere.
std::optional<std::string> SystemDirectory();

// The user's home folder: $HOME, or without it the one the password database names; empty
// when neither names one.
std::string HomeFolder();

// A file of the system directory; empty, a path that names no file, when there is none.
std::string SystemFilePath(const std::string& name);

// Joins a directory and a name with one "/", as Linkvet builds every path: nothing is trimmed.
std::string JoinPath(const std::string& directory, const std::string& name);

}  // namespace platform
