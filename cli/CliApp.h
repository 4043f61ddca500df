#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrine::cli {

// Exit codes of kestrine-cli.
inline constexpr int kExitOk = 0;
inline constexpr int kExitSomeFailed = 1;
inline constexpr int kExitUsage = 2;
// Stopped by a signal: 128 + its number (130 for Ctrl+C).
inline constexpr int kExitSignalBase = 128;

enum class OverwriteAnswer { Ask, Yes, No };

struct ConvertOptions {
    std::string profile; // a catalogue caption or a manual profile text
    std::optional<std::string> outputDir;
    bool sameAsInput = false;
    std::optional<std::string> ffmpeg; // a chosen program; none: plain "ffmpeg" from the search
    OverwriteAnswer overwrite = OverwriteAnswer::Ask;
    bool notices = false;
    bool printCommand = false; // print what would be launched for each file instead of running it
    std::vector<std::string> files;
};

// Reads the options of a conversion; on a mistake returns nothing and says why in error.
std::optional<ConvertOptions> ParseConvertOptions(const std::vector<std::string>& args,
                                                  std::string& error);

// Runs kestrine-cli with its arguments (without the program name). Questions are read from
// standard input; the progress line is drawn when out is standard output and a terminal.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The same with the answers to questions read from in, and the progress line drawn on out when
// terminal is true.
int RunCli(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
           std::ostream& err, bool terminal);

// Prints the catalogue in menu order: category, TAB, caption, TAB, arguments as stored, TAB,
// extension, one profile a line.
void PrintProfiles(std::ostream& out);

// word as one word of a POSIX shell: as it is when it holds only characters no shell treats
// specially, else between single quotes (a quote inside written '\''). Any byte but NUL keeps.
std::string ShellQuote(std::string_view word);

// The command that launches program with arguments (arguments[0], the name the program gets
// for itself, is left out), each word shell-quoted, separated by blanks. A program without "/"
// is named "./program", which the shell runs from the current folder as the engine does.
std::string ShellCommand(const std::string& program, const std::vector<std::string>& arguments);

std::string UsageText();

} // namespace kestrine::cli
