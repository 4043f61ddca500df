// Any file text, then a read and a write of a section and key that the input chooses, as the
// settings store does them. No crash, and:
//   - a read gives the default or at most kMaxValueLength bytes;
//   - a refused write leaves the file byte for byte; no write leaves a temporary file behind;
//   - a written value reads back, unless it has blanks or a pair of quotes around it (a read
//     strips those) or is longer than a read gives; CR and LF are always refused;
//   - only the written line changes: every other line of the file is kept byte for byte, and a
//     new key or section is added in one place;
//   - another key reads as before, and writing the same value again changes nothing.

#include "platform/IniFile.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

std::string gFolder;
std::string gPath;

void Check(bool condition) {
    if (!condition)
        std::abort();
}

void RemoveFolder() {
    unlink(gPath.c_str());
    rmdir(gFolder.c_str());
}

void WriteText(const std::string& text) {
    const int fd = open(gPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    Check(fd >= 0);
    Check(write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()));
    close(fd);
}

std::string ReadText() {
    std::string text;
    const int fd = open(gPath.c_str(), O_RDONLY | O_CLOEXEC);
    Check(fd >= 0);
    char buffer[65536];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(got));
    close(fd);
    return text;
}

// The folder holds the settings file and nothing else.
bool OnlyTheFile() {
    DIR* dir = opendir(gFolder.c_str());
    Check(dir != nullptr);
    int count = 0;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            count += name == "settings.ini" ? 1 : 100;
    }
    closedir(dir);
    return count == 1;
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    }
    return true;
}

bool ReadsBackAsWritten(const std::string& value) {
    if (value.size() > platform::IniFile::kMaxValueLength)
        return false;
    if (!value.empty() && (value.front() == ' ' || value.front() == '\t' || value.back() == ' ' ||
                           value.back() == '\t'))
        return false;
    const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                        value.back() == value.front();
    return !quoted;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // A memory file system where there is one: every write is flushed to disk.
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/kestrine-ini-fuzz-XXXXXX";
    Check(mkdtemp(pattern.data()) != nullptr);
    gFolder = pattern;
    gPath = gFolder + "/settings.ini";
    std::atexit(RemoveFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string section = input.ConsumeRandomLengthString(24);
    const std::string key = input.ConsumeRandomLengthString(24);
    const std::string value = input.ConsumeRandomLengthString(3000);
    const std::string otherSection = input.ConsumeRandomLengthString(24);
    const std::string otherKey = input.ConsumeRandomLengthString(24);
    const std::string before = input.ConsumeRemainingBytesAsString();
    const std::string missing = "\nmissing\n"; // no value holds a line break

    WriteText(before);
    platform::IniFile ini(gPath);
    const std::string valueBefore = ini.ReadString(section, key, missing);
    Check(valueBefore == missing || valueBefore.size() <= platform::IniFile::kMaxValueLength);
    const std::string otherBefore = ini.ReadString(otherSection, otherKey, missing);

    const bool written = ini.WriteString(section, key, value);
    const std::string after = ReadText();
    Check(OnlyTheFile());
    if (!written) {
        Check(ini.LastError() != 0);
        Check(after == before);
        return 0;
    }
    Check(ini.LastError() == 0);
    Check(value.find_first_of("\r\n") == std::string::npos);

    const std::string valueAfter = ini.ReadString(section, key, missing);
    if (ReadsBackAsWritten(value))
        Check(valueAfter == value);
    else
        Check(valueAfter != missing);
    if (!(SameName(section, otherSection) && SameName(key, otherKey)))
        Check(ini.ReadString(otherSection, otherKey, missing) == otherBefore);

    // What differs between the texts lies within one line of the old one: the value replaced in
    // place, or nothing at all when the key was added.
    std::size_t prefix = 0;
    while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix])
        ++prefix;
    std::size_t suffix = 0;
    while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    const std::string removed = before.substr(prefix, before.size() - prefix - suffix);
    const std::string added = after.substr(prefix, after.size() - prefix - suffix);
    Check(removed.find('\n') == std::string::npos);
    if (valueBefore == missing)
        Check(removed.empty());
    else
        Check(added.find('\n') == std::string::npos);

    Check(ini.WriteString(section, key, value));
    Check(ReadText() == after);
    return 0;
}
