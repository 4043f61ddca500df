#include "profiles/ManualProfile.h"

#include "base/Text.h"

namespace kestrine {

namespace {

// Position (from 1) where the command line starts, just after "ffmpeg -i %1 ".
constexpr std::int64_t kCommandStart = 14;

std::int64_t SplitPos(std::string_view profileText) {
    return Pos(kManualProfileSplit, profileText);
}

} // namespace

bool IsManualProfileText(std::string_view profileText) {
    return LowerAscii(profileText.substr(0, 6)) == "ffmpeg";
}

std::string ComposeManualProfileText(std::string_view commandLine, std::string_view extension) {
    std::string text(kManualProfileHead);
    text += commandLine;
    text += ' ';
    text += kManualProfileSplit;
    text += extension;
    return text;
}

std::string ManualProfileParams(std::string_view profileText) {
    const auto p = SplitPos(profileText);
    if (p == 0)
        return {};
    return Copy(profileText, kCommandStart, p - kCommandStart);
}

std::string ManualProfileExt(std::string_view profileText) {
    const auto p = SplitPos(profileText);
    if (p == 0)
        return {};
    const auto length = static_cast<std::int64_t>(profileText.size());
    return Copy(profileText, p + 2, length - p - 1);
}

std::optional<ManualProfileFields> CutManualProfileText(std::string_view profileText) {
    if (!IsManualProfileText(profileText))
        return std::nullopt;
    const auto p = SplitPos(profileText);
    const auto length = static_cast<std::int64_t>(profileText.size());
    if (p == 0)
        return ManualProfileFields{Copy(profileText, kCommandStart, length), {}};
    return ManualProfileFields{Copy(profileText, kCommandStart, p - kCommandStart - 1),
                               Copy(profileText, p + 3, length - p - 2)};
}

} // namespace kestrine
