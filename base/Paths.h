#pragma once

// Path rules in POSIX form: "/" is the only separator and a file name is the part after the
// last "/". Paths are byte strings; nothing here touches the file system.

#include <string>
#include <string_view>

namespace kestrine {

// The part after the last "/" (the whole path when there is none).
std::string ExtractFileName(std::string_view path);

// The part before and including the last "/" ("" when there is none).
std::string ExtractFilePath(std::string_view path);

// The extension: from the last "." of the file name on, the dot included; "" when the file name
// has no ".".
std::string ExtractFileExt(std::string_view path);

// Keeps what precedes the extension's "." (the whole path when there is none) and appends ext.
std::string ChangeFileExt(std::string_view path, std::string_view ext);

// Appends "/" unless the path already ends in one.
std::string IncludeTrailingPathDelimiter(std::string_view path);

} // namespace kestrine
