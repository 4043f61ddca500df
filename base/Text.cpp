#include "base/Text.h"

#include <limits>

namespace kestrine {

int Pos(std::string_view needle, std::string_view text) {
    if (needle.empty())
        return 0;
    const auto at = text.find(needle);
    return at == std::string_view::npos ? 0 : static_cast<int>(at) + 1;
}

std::string Copy(std::string_view text, std::int64_t start, std::int64_t count) {
    if (start < 1)
        start = 1;
    const auto length = static_cast<std::int64_t>(text.size());
    if (count <= 0 || start > length)
        return {};
    if (count > length - start + 1)
        count = length - start + 1;
    return std::string(
        text.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(count)));
}

std::string LowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string TrimControl(std::string_view text) {
    auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && isBlank(text[first]))
        ++first;
    while (last > first && isBlank(text[last - 1]))
        --last;
    return std::string(text.substr(first, last - first));
}

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::optional<std::int32_t> TryStrToInt(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size())
        return std::nullopt;

    // Accumulate the magnitude in 64 bits; anything beyond 2^31 cannot fit either way.
    const std::int64_t limit =
        static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1;
    std::int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const int digit = base == 16 ? HexValue(text[i])
                                     : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
        if (digit < 0)
            return std::nullopt;
        magnitude = magnitude * base + digit;
        if (magnitude > limit)
            return std::nullopt;
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::int32_t StrToIntDef(std::string_view text, std::int32_t fallback) {
    return TryStrToInt(text).value_or(fallback);
}

std::int32_t IniStrToIntDef(std::string_view text, std::int32_t fallback) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return StrToIntDef("$" + std::string(text.substr(2)), fallback);
    return StrToIntDef(text, fallback);
}

bool IniStrToBool(std::string_view text, bool fallback) {
    return IniStrToIntDef(text, fallback ? 1 : 0) != 0;
}

std::string IniBoolToStr(bool value) {
    return value ? "1" : "0";
}

std::string TwoDigits(std::int32_t n) {
    return n < 10 ? "0" + std::to_string(n) : std::to_string(n);
}

std::string MinutesSeconds(std::int64_t seconds) {
    return TwoDigits(static_cast<std::int32_t>(seconds / 60)) + ":" +
           TwoDigits(static_cast<std::int32_t>(seconds % 60));
}

} // namespace kestrine
