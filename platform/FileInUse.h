#pragma once

// Tests on existing files that decide whether a conversion may write over one.

#include <string>

namespace platform {

// A file (not a folder) of that path exists.
bool FileExists(const std::string& path);

// An existing file that may not be written over now: it cannot be opened for reading and
// writing, or it has no write permission bit at all (the read-only attribute, which holds for
// root as well), or another process holds it open (told by a refused write lease where the file
// system offers leases). A missing file is not in use.
bool IsFileInUse(const std::string& path);

// The two paths name the same file: the same text, or the same file reached by two names.
bool IsSameFile(const std::string& a, const std::string& b);

} // namespace platform
