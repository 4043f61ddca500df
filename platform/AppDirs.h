#pragma once

// Folders the program keeps its files in.

#include <string>

namespace platform {

// The user's configuration folder with a trailing "/": $XDG_CONFIG_HOME when it holds an absolute
// path, else the home folder ($HOME, or the user database when that is empty) followed by
// ".config/". Empty when no home folder is known either.
std::string ConfigHomeDir();

// The user's cache folder with a trailing "/": $XDG_CACHE_HOME when it holds an absolute path,
// else the home folder followed by ".cache/". Empty when no home folder is known either.
std::string CacheHomeDir();

// The folder of the running program's executable, with a trailing "/".
std::string ProgramDir();

} // namespace platform
