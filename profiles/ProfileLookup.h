#pragma once

// The two lookups from a profile text (a catalogue caption or a manual profile text) to the
// FFmpeg arguments and the output extension. Texts compare byte for byte; an empty or unmatched
// text yields "" from both.

#include <string>
#include <string_view>

namespace kestrine {

std::string GetProfileParams(std::string_view profileText);
std::string GetProfileExt(std::string_view profileText);

// What the extension label shows: "(*" + extension + ")".
std::string ProfileExtLabel(std::string_view profileText);

// The profile text of a clicked menu item: its caption less the first "&" (an accelerator mark).
std::string ProfileTextFromMenuCaption(std::string_view caption);

} // namespace kestrine
