#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace kestrine::cli {

// Exit codes of kestrine-cli.
inline constexpr int kExitOk = 0;
inline constexpr int kExitSomeFailed = 1;
inline constexpr int kExitUsage = 2;

// Runs kestrine-cli with its arguments (without the program name).
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Prints the catalogue in menu order: category, TAB, caption, TAB, arguments as stored, TAB,
// extension, one profile a line.
void PrintProfiles(std::ostream& out);

std::string UsageText();

} // namespace kestrine::cli
