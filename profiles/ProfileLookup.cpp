#include "profiles/ProfileLookup.h"

#include "profiles/Catalogue.h"
#include "profiles/ManualProfile.h"

namespace kestrine {

namespace {

enum class Column { Arguments, Extension };

std::string Lookup(std::string_view profileText, Column column) {
    std::string result;
    // Every row is compared; captions are unique, so at most one matches.
    for (const Profile& row : Catalogue()) {
        if (row.caption == profileText)
            result = column == Column::Arguments ? row.arguments : row.extension;
    }
    // No caption begins with "ffmpeg", so the scan and the manual rule never both apply.
    if (IsManualProfileText(profileText))
        result = column == Column::Arguments ? ManualProfileParams(profileText)
                                             : ManualProfileExt(profileText);
    return result;
}

} // namespace

std::string GetProfileParams(std::string_view profileText) {
    return Lookup(profileText, Column::Arguments);
}

std::string GetProfileExt(std::string_view profileText) {
    return Lookup(profileText, Column::Extension);
}

std::string ProfileExtLabel(std::string_view profileText) {
    return "(*" + GetProfileExt(profileText) + ")";
}

std::string ProfileTextFromMenuCaption(std::string_view caption) {
    std::string text(caption);
    if (const auto amp = text.find('&'); amp != std::string::npos)
        text.erase(amp, 1);
    return text;
}

} // namespace kestrine
