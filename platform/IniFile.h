#pragma once

// An INI profile file: "[Section]" headers followed by "Key=Value" lines.
//
// Reading: section and key names match in any letter case (A to Z); the first matching section
// and the first matching key in it win; spaces and tabs around keys and values are trimmed; one
// matching pair of outer double or single quotes is stripped from a value; a line whose first
// non-blank character is ";" is a comment; a section name runs from "[" to its first "]"; lines
// before the first section and lines without "=" are not keys; a missing file, section or key
// reads as the default, a key with an empty value as empty; a value is cut to kMaxValueLength
// bytes. A UTF-8 byte order mark at the start is skipped.
//
// Writing: the value of an existing key is replaced in place and every other byte of the file
// stays as it was (comments, blank lines, order, the key's own spelling); a new key goes after
// the last entry of its section, a new section at the end of the file; a missing file is created.
// The value is written exactly as given. The file keeps the line ending it has (LF for a new
// file, CRLF when its first line ends in CRLF).
//
// Every write goes to a temporary file in the same folder, which is flushed to disk and renamed
// over the old file: at any moment the file holds either its old or its new text in full.
// A file without any write permission bit counts as read-only and is not replaced. A path that
// holds something other than a regular file (a folder, a named pipe, a device, also behind a
// link) reads as the default and is never written.
//
// The object only records the path; every call reads the file afresh. Not thread-safe.

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

class IniFile {
public:
    // The longest value a read returns; longer values are cut.
    static constexpr std::size_t kMaxValueLength = 2047;

    explicit IniFile(std::string path);

    const std::string& FileName() const { return fileName; }

    // The value of key in section, or defaultValue when the file, the section or the key is
    // missing or the file cannot be read.
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;

    // Sets key in section to value. Returns false when the file could not be written; then the
    // file is unchanged and LastError() gives the error number. A section or key that could not
    // be read back, or a value holding a line break, is refused with EINVAL.
    bool WriteString(std::string_view section, std::string_view key, std::string_view value);

    // The error number of the last failed write, 0 after a successful one.
    int LastError() const { return lastError; }

private:
    std::string fileName;
    int lastError = 0;
};

} // namespace platform
