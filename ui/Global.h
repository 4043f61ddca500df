#pragma once

// Shell helpers shared by the forms.

#include <string>

namespace kestrine {

// The user's application-data folder with a trailing "/": $XDG_CONFIG_HOME, else ~/.config.
// Empty when the system knows no home folder for the user.
std::string GetAppDataDir();

// Whether path names an existing folder (or a link to one). False for "".
bool DirectoryExists(const std::string& path);

// Creates the folder with every missing parent; true when it exists afterwards.
bool ForceDirectories(const std::string& path);

// The modal folder chooser: shows title, offers folders only and keeps the user under root (when
// not empty). A folder that does not name an existing folder is cleared first; an existing one is
// where the chooser opens, centred on the screen. Returns true with folder set to the path picked,
// or false when the user cancelled (folder then holds "" or the folder it was given).
bool BrowseForFolder(const std::string& title, const std::string& root, std::string& folder);

} // namespace kestrine
