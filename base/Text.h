#pragma once

// Text rules shared by every layer. Texts are byte strings (UTF-8 on this platform);
// positions count bytes from 1, as the rest of the program expects.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrine {

// Position (from 1) of the first occurrence of needle in text, or 0. An empty needle is never
// found.
int Pos(std::string_view needle, std::string_view text);

// The cut by start and count: a count of zero or less or a start past the end gives "", a count
// that runs past the end stops there, and a start below 1 counts from 1.
std::string Copy(std::string_view text, std::int64_t start, std::int64_t count);

// Lowers the letters A to Z and nothing else.
std::string LowerAscii(std::string_view text);

// Removes the characters with codes 0 to 32 from both ends.
std::string TrimControl(std::string_view text);

// Integer reading of the class library: leading spaces, an optional sign, then decimal digits or
// hexadecimal digits after "$", "x", "X", "0x" or "0X"; the digits run to the end of the text and
// the value fits a signed 32-bit integer. Anything else has no value.
std::optional<std::int32_t> TryStrToInt(std::string_view text);
std::int32_t StrToIntDef(std::string_view text, std::int32_t fallback);

// Integer reading of a settings value: a text of at least three characters that begins with "0x"
// or "0X" is hexadecimal after those two; otherwise as StrToIntDef.
std::int32_t IniStrToIntDef(std::string_view text, std::int32_t fallback);

// A settings boolean: an integer other than 0 is true; a text that is no integer reads as the
// fallback.
bool IniStrToBool(std::string_view text, bool fallback);
// How a boolean is written to the settings: "1" or "0".
std::string IniBoolToStr(bool value);

// "0" before any value below 10 (negative ones included), otherwise the plain decimal form.
std::string TwoDigits(std::int32_t n);

// MM:SS of a count of seconds: TwoDigits of the whole minutes (not capped), ":", TwoDigits of the
// seconds left. Division truncates toward zero, the remainder takes the sign of the dividend.
std::string MinutesSeconds(std::int64_t seconds);

} // namespace kestrine
