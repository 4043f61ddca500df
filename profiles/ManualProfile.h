#pragma once

// A user-made profile lives only as its text, which reads like an FFmpeg command line:
//   "ffmpeg -i %1 " + command line + " %1." + extension
// "%1" only marks the input and output files on screen; it is never replaced.

#include <optional>
#include <string>
#include <string_view>

namespace kestrine {

inline constexpr std::string_view kManualProfileHead = "ffmpeg -i %1 ";
inline constexpr std::string_view kManualProfileSplit = "%1.";

// A profile text is a manual one when, with A to Z lowered, it begins with "ffmpeg".
bool IsManualProfileText(std::string_view profileText);

// Composes the text as the manual conversion dialog shows and stores it; nothing is trimmed.
std::string ComposeManualProfileText(std::string_view commandLine, std::string_view extension);

// The arguments of a manual text: from position 14 up to the first "%1.", so the command line and
// the one space after it. A text without "%1." gives "".
std::string ManualProfileParams(std::string_view profileText);

// The extension of a manual text: from the dot of the first "%1." to the end. A text without
// "%1." gives "".
std::string ManualProfileExt(std::string_view profileText);

struct ManualProfileFields {
    std::string commandLine; // the options without the space before "%1."
    std::string extension;   // without its dot
};

// The fields the dialog prefills from a manual text, or nothing when the text is not a manual
// one (the dialog then keeps its defaults). A text without "%1." gives everything after the head
// as the command line and an empty extension, so the user sees what was there and completes it.
std::optional<ManualProfileFields> CutManualProfileText(std::string_view profileText);

} // namespace kestrine
