#include "cli/CliApp.h"

#include "profiles/Catalogue.h"

#include <ostream>

namespace kestrine::cli {

std::string UsageText() {
    return "Usage: kestrine-cli --list-profiles\n"
           "\n"
           "  --list-profiles   print the built-in profiles, one a line:\n"
           "                    category, caption, arguments and extension, separated by TABs\n";
}

void PrintProfiles(std::ostream& out) {
    for (const Profile& row : Catalogue())
        out << row.category << '\t' << row.caption << '\t' << row.arguments << '\t' << row.extension
            << '\n';
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() == 1 && args[0] == "--list-profiles") {
        PrintProfiles(out);
        return kExitOk;
    }
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        out << UsageText();
        return kExitOk;
    }
    if (!args.empty())
        err << "kestrine-cli: unknown or incomplete arguments\n";
    err << UsageText();
    return kExitUsage;
}

} // namespace kestrine::cli
