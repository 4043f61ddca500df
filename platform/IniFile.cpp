#include "platform/IniFile.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <new>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// ---- Lines and their kinds ----

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    }
    return true;
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// One line of the file as offsets into its text.
struct Line {
    std::size_t begin = 0;      // first byte
    std::size_t contentEnd = 0; // end of the text, before "\n" or "\r\n"
    std::size_t end = 0;        // after the line ending ("\n" included)
};

// Walks the lines of a file's text, after a UTF-8 byte order mark if there is one.
class LineReader {
public:
    explicit LineReader(std::string_view fileText) : text(fileText) {
        if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark)
            pos = kByteOrderMark.size();
    }

    bool Next(Line& line) {
        if (pos >= text.size())
            return false;
        line.begin = pos;
        const std::size_t newline = text.find('\n', pos);
        if (newline == std::string_view::npos) {
            line.contentEnd = line.end = text.size();
        } else {
            line.contentEnd = newline;
            line.end = newline + 1;
        }
        if (line.contentEnd > line.begin && text[line.contentEnd - 1] == '\r')
            --line.contentEnd;
        pos = line.end;
        return true;
    }

private:
    std::string_view text;
    std::size_t pos = 0;
};

enum class LineKind { Blank, Comment, Section, Key, Other };

struct ParsedLine {
    LineKind kind = LineKind::Blank;
    std::string_view name;      // section or key name
    std::string_view value;     // trimmed value of a key line
    std::size_t valueStart = 0; // offset in the line just after the "=" of a key line
};

ParsedLine ParseLine(std::string_view line) {
    ParsedLine parsed;
    const std::string_view trimmed = TrimBlanks(line);
    if (trimmed.empty())
        return parsed;
    if (trimmed.front() == ';') {
        parsed.kind = LineKind::Comment;
        return parsed;
    }
    if (trimmed.front() == '[') {
        const std::size_t close = trimmed.find(']');
        if (close != std::string_view::npos) {
            parsed.kind = LineKind::Section;
            parsed.name = trimmed.substr(1, close - 1);
            return parsed;
        }
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        parsed.kind = LineKind::Other;
        return parsed;
    }
    parsed.kind = LineKind::Key;
    parsed.name = TrimBlanks(line.substr(0, equals));
    parsed.value = TrimBlanks(line.substr(equals + 1));
    parsed.valueStart = equals + 1;
    return parsed;
}

std::string_view LineText(std::string_view text, const Line& line) {
    return text.substr(line.begin, line.contentEnd - line.begin);
}

std::optional<std::string_view> FindValue(std::string_view text, std::string_view section,
                                          std::string_view key) {
    LineReader reader(text);
    Line line;
    bool inSection = false;
    while (reader.Next(line)) {
        const ParsedLine parsed = ParseLine(LineText(text, line));
        if (parsed.kind == LineKind::Section) {
            if (inSection)
                return std::nullopt; // only the first matching section counts
            inSection = SameName(parsed.name, section);
        } else if (inSection && parsed.kind == LineKind::Key && SameName(parsed.name, key)) {
            return parsed.value;
        }
    }
    return std::nullopt;
}

std::string_view StripQuotes(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

// The line ending of the file: that of its first line, LF when it has none.
std::string_view LineEnding(std::string_view text) {
    const std::size_t newline = text.find('\n');
    if (newline != std::string_view::npos && newline > 0 && text[newline - 1] == '\r')
        return "\r\n";
    return "\n";
}

// What completes an unterminated last line with the file's line ending.
std::string_view Terminator(std::string_view text, std::string_view eol) {
    if (text.empty() || text.back() == '\n')
        return {};
    if (text.back() == '\r' && eol == "\r\n")
        return "\n";
    return eol;
}

// The text of the file after setting key in section to value.
std::string Compose(std::string_view text, std::string_view section, std::string_view key,
                    std::string_view value) {
    const std::string_view eol = LineEnding(text);
    std::string entry;
    entry.reserve(key.size() + 1 + value.size());
    entry.append(key).append("=").append(value);

    LineReader reader(text);
    Line line;
    std::optional<Line> lastEntry; // header or last entry of the matching section
    bool inSection = false;
    bool lastLineBlank = true;
    while (reader.Next(line)) {
        const ParsedLine parsed = ParseLine(LineText(text, line));
        lastLineBlank = parsed.kind == LineKind::Blank;
        if (parsed.kind == LineKind::Section) {
            if (inSection)
                break;
            if (SameName(parsed.name, section)) {
                inSection = true;
                lastEntry = line;
            }
            continue;
        }
        if (!inSection)
            continue;
        if (parsed.kind == LineKind::Key && SameName(parsed.name, key)) {
            // Replace the value only: the key's spelling, the blanks before "=" and the line
            // ending stay.
            std::string out;
            out.reserve(text.size() + value.size());
            out.append(text.substr(0, line.begin + parsed.valueStart));
            out.append(value);
            out.append(text.substr(line.contentEnd));
            return out;
        }
        if (parsed.kind == LineKind::Key || parsed.kind == LineKind::Other)
            lastEntry = line;
    }

    std::string out;
    out.reserve(text.size() + section.size() + entry.size() + 8);
    if (lastEntry) {
        // A new key after the last entry of its section.
        const std::string_view before = text.substr(0, lastEntry->end);
        out.append(before);
        if (lastEntry->end == text.size() && !Terminator(before, eol).empty()) {
            out.append(Terminator(before, eol)).append(entry);
        } else {
            out.append(entry).append(eol);
            out.append(text.substr(lastEntry->end));
        }
        return out;
    }

    // A new section at the end of the file, set off from what precedes it by a blank line.
    out.append(text);
    if (text != kByteOrderMark)
        out.append(Terminator(text, eol));
    if (!lastLineBlank)
        out.append(eol);
    out.append("[").append(section).append("]").append(eol);
    out.append(entry).append(eol);
    return out;
}

// ---- Files ----

// Reads the whole file. 0, or the error number; a missing file is empty and sets missing.
int ReadWholeFile(const std::string& path, std::string& text, bool& missing) {
    text.clear();
    missing = false;
    // Without waiting: opening a named pipe would otherwise wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT) {
            missing = true;
            return 0;
        }
        return errno;
    }
    int error = 0;
    try {
        struct stat st {};
        if (::fstat(fd, &st) != 0) {
            error = errno;
        } else if (S_ISDIR(st.st_mode)) {
            error = EISDIR;
        } else if (!S_ISREG(st.st_mode)) {
            error = EINVAL; // a pipe or a device would never end or never hold settings
        } else {
            if (st.st_size > 0)
                text.reserve(static_cast<std::size_t>(st.st_size));
            char buffer[65536];
            for (;;) {
                const ssize_t got = ::read(fd, buffer, sizeof buffer);
                if (got < 0) {
                    if (errno == EINTR)
                        continue;
                    error = errno;
                    break;
                }
                if (got == 0)
                    break;
                text.append(buffer, static_cast<std::size_t>(got));
            }
        }
    } catch (const std::bad_alloc&) {
        error = ENOMEM;
    }
    ::close(fd);
    if (error != 0)
        text.clear();
    return error;
}

int WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t put = ::write(fd, data.data(), data.size());
        if (put < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data.remove_prefix(static_cast<std::size_t>(put));
    }
    return 0;
}

// Creates a new temporary file beside target; returns its descriptor (or -1 with errno set).
int CreateTempFile(const std::string& target, mode_t mode, std::string& tempName) {
    static std::atomic<unsigned> counter{0};
    const std::size_t slash = target.rfind('/');
    const std::string dir =
        slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto ticks = static_cast<unsigned long long>(
            std::chrono::steady_clock::now().time_since_epoch().count());
        tempName = dir + "." + name + ".tmp-" + std::to_string(::getpid()) + "-" +
                   std::to_string(counter++) + "-" + std::to_string(ticks % 1000000);
        const int fd = ::open(tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

void SyncFolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Replaces the file at path by one holding data: a temporary file in the same folder, flushed to
// disk and renamed over it. 0, or the error number; on failure the file is untouched.
int ReplaceFile(const std::string& path, std::string_view data) {
    std::string target = path;
    struct stat st {};
    bool exists = ::lstat(path.c_str(), &st) == 0;
    if (exists && S_ISLNK(st.st_mode)) {
        // Replace what the link points to, not the link.
        if (char* resolved = ::realpath(path.c_str(), nullptr)) {
            target = resolved;
            std::free(resolved);
        }
        exists = ::stat(target.c_str(), &st) == 0;
    }
    if (!exists && errno != ENOENT)
        return errno;
    if (exists) {
        if (S_ISDIR(st.st_mode))
            return EISDIR;
        // Renaming over a pipe or a device (a link to /dev/null) would replace it.
        if (!S_ISREG(st.st_mode))
            return EINVAL;
        if ((st.st_mode & 0222) == 0)
            return EACCES; // read-only, whoever we are
        if (::access(target.c_str(), W_OK) != 0)
            return errno;
    }

    std::string tempName;
    const int fd = CreateTempFile(target, exists ? 0600 : 0666, tempName);
    if (fd < 0)
        return errno;
    int error = 0;
    if (exists) {
        // Keep the old file's permissions and, where allowed, its owner.
        if (::fchmod(fd, st.st_mode & 07777) != 0)
            error = errno;
        if (st.st_uid != ::geteuid() || st.st_gid != ::getegid())
            (void)!::fchown(fd, st.st_uid, st.st_gid);
    }
    if (error == 0)
        error = WriteAll(fd, data);
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(tempName.c_str(), target.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(tempName.c_str());
        return error;
    }
    SyncFolderOf(target);
    return 0;
}

bool HasLineBreak(std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
}

// Whether a section and key written now would be found again by a read.
bool Writable(std::string_view section, std::string_view key, std::string_view value) {
    if (section.empty() || HasLineBreak(section) || section.find(']') != std::string_view::npos)
        return false;
    if (key.empty() || HasLineBreak(key) || key.find('=') != std::string_view::npos ||
        TrimBlanks(key) != key || key.front() == ';' || key.front() == '[')
        return false;
    return !HasLineBreak(value);
}

} // namespace

IniFile::IniFile(std::string path) : fileName(std::move(path)) {}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const {
    std::string text;
    bool missing = false;
    if (ReadWholeFile(fileName, text, missing) != 0 || missing)
        return std::string(defaultValue);
    const std::optional<std::string_view> value = FindValue(text, section, key);
    if (!value)
        return std::string(defaultValue);
    return std::string(StripQuotes(*value).substr(0, kMaxValueLength));
}

bool IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    if (!Writable(section, key, value)) {
        lastError = EINVAL;
        return false;
    }
    try {
        std::string text;
        bool missing = false;
        lastError = ReadWholeFile(fileName, text, missing);
        if (lastError == 0)
            lastError = ReplaceFile(fileName, Compose(text, section, key, value));
    } catch (const std::bad_alloc&) {
        lastError = ENOMEM;
    }
    return lastError == 0;
}

} // namespace platform
